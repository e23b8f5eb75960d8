#include "tests/support/recording_logger.h"

namespace zarvo::test {

void recording_logger::write(const std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
}

std::vector<std::string> recording_logger::lines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

std::vector<std::string> recording_logger::messages() const
{
    std::vector<std::string> out;
    for (const std::string& line : lines())
        out.push_back(strip_time_and_location(line));
    return out;
}

void recording_logger::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

std::string strip_time_and_location(const std::string& line)
{
    // The time and the location are the first two blank-separated fields.
    std::string::size_type first = line.find(' ');
    if (first == std::string::npos)
        return line;
    std::string::size_type second = line.find(' ', first + 1);
    if (second == std::string::npos)
        return line;
    return line.substr(second + 1);
}

void trace_fixture::SetUp()
{
    zarvo::set_trace_logger(&log);
}

void trace_fixture::TearDown()
{
    zarvo::clear_trace_loggers();
}

} // namespace zarvo::test
