#include "tests/support/fake_connection.h"

#include <iterator>
#include <sstream>

namespace zarvo::test {
namespace {

connection_call make_call(connection_op op, std::string path = {}, std::string bytes = {},
                          int id = -1)
{
    connection_call c;
    c.op = op;
    c.path = std::move(path);
    c.bytes = std::move(bytes);
    c.id = id;
    return c;
}

std::string drain(std::istream& in)
{
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

connection_action connection_action::returns(bool value)
{
    connection_action a;
    a.answer = value;
    return a;
}

connection_action connection_action::returns_code(int value)
{
    connection_action a;
    a.code = value;
    return a;
}

connection_action connection_action::returns_bytes(std::string value)
{
    connection_action a;
    a.bytes = std::move(value);
    return a;
}

connection_action connection_action::returns_listing(std::set<zarvo::entry> value)
{
    connection_action a;
    a.listing = std::move(value);
    return a;
}

connection_action connection_action::returns_space(zarvo::disk_space value)
{
    connection_action a;
    a.space = value;
    return a;
}

connection_action connection_action::blocks_on(const latch& l)
{
    return runs([&l] { l.wait(); });
}

connection_action connection_action::runs(std::function<void()> f)
{
    connection_action a;
    a.before = std::move(f);
    return a;
}

fake_connection::fake_connection(std::shared_ptr<connection_probe> probe)
    : probe_(std::move(probe))
{
}

fake_connection::~fake_connection()
{
    if (probe_) {
        std::lock_guard<std::mutex> lock(probe_->mutex);
        probe_->destroyed_on.push_back(std::this_thread::get_id());
        ++probe_->destroyed;
    }
}

void fake_connection::script(connection_op op, connection_action action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_[op].push_back(std::move(action));
}

void fake_connection::set_transport(std::string name, bool answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    transport_ = {std::move(name), answer};
}

void fake_connection::set_family(std::string name, bool answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    family_ = {std::move(name), answer};
}

void fake_connection::set_readiness(int value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    readiness_ = value;
}

std::vector<connection_call> fake_connection::calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

connection_action fake_connection::next(connection_op op)
{
    connection_action action;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& queue = scripts_[op];
        if (!queue.empty()) {
            action = std::move(queue.front());
            queue.pop_front();
        }
    }
    if (action.before)
        action.before();
    return action;
}

std::size_t fake_connection::record(connection_call call)
{
    call.thread = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
    return calls_.size() - 1;
}

bool fake_connection::answer_name(connection_op op, const named_answer& configured,
                                  std::string& name)
{
    record(make_call(op));
    next(op);
    std::lock_guard<std::mutex> lock(mutex_);
    if (configured.answer)
        name = configured.name;
    return configured.answer;
}

bool fake_connection::transport(std::string& name)
{
    return answer_name(connection_op::transport, transport_, name);
}

bool fake_connection::family(std::string& name)
{
    return answer_name(connection_op::family, family_, name);
}

zarvo::disk_space fake_connection::disk_space()
{
    record(make_call(connection_op::disk_space));
    return next(connection_op::disk_space).space.value_or(zarvo::disk_space());
}

bool fake_connection::fetch(const boost::filesystem::path& directory,
                            std::set<zarvo::entry>& entries)
{
    record(make_call(connection_op::fetch, directory.string()));
    connection_action a = next(connection_op::fetch);
    if (a.listing)
        entries.insert(a.listing->begin(), a.listing->end());
    return a.answer.value_or(true);
}

bool fake_connection::create(const boost::filesystem::path& directory)
{
    record(make_call(connection_op::create, directory.string()));
    return next(connection_op::create).answer.value_or(true);
}

void fake_connection::read(const boost::filesystem::path& file, std::ostream& content)
{
    const std::size_t index = record(make_call(connection_op::read, file.string()));
    connection_action a = next(connection_op::read);
    if (a.bytes) {
        content.write(a.bytes->data(), static_cast<std::streamsize>(a.bytes->size()));
        std::lock_guard<std::mutex> lock(mutex_);
        calls_[index].bytes = *a.bytes;
    }
}

void fake_connection::write(const boost::filesystem::path& file, std::istream& content)
{
    record(make_call(connection_op::write, file.string(), drain(content)));
    next(connection_op::write);
}

void fake_connection::merge(const boost::filesystem::path& file, std::istream& content)
{
    record(make_call(connection_op::merge, file.string(), drain(content)));
    next(connection_op::merge);
}

bool fake_connection::remove(const boost::filesystem::path& p)
{
    record(make_call(connection_op::remove, p.string()));
    return next(connection_op::remove).answer.value_or(true);
}

// Never blocks and runs no script: a cancel comes while another operation of
// this connection may be held.
void fake_connection::cancel()
{
    cancelled_ = true;
    record(make_call(connection_op::cancel));
}

void fake_connection::reset_cancel()
{
    cancelled_ = false;
    record(make_call(connection_op::reset_cancel));
}

int fake_connection::query(int id, std::istream& parameters, std::ostream& result)
{
    record(make_call(connection_op::query, {}, drain(parameters), id));
    connection_action a = next(connection_op::query);
    if (a.bytes)
        result.write(a.bytes->data(), static_cast<std::streamsize>(a.bytes->size()));
    return a.code.value_or(0);
}

int fake_connection::notify(int id, std::istream& parameters)
{
    record(make_call(connection_op::notify, {}, drain(parameters), id));
    return next(connection_op::notify).code.value_or(0);
}

int fake_connection::readiness()
{
    record(make_call(connection_op::readiness));
    next(connection_op::readiness);
    std::lock_guard<std::mutex> lock(mutex_);
    return readiness_;
}

void fake_connection::withdrawn()
{
    record(make_call(connection_op::withdrawn));
    if (probe_) {
        std::lock_guard<std::mutex> lock(probe_->mutex);
        probe_->withdrawn_on.push_back(std::this_thread::get_id());
        ++probe_->withdrawn;
    }
    next(connection_op::withdrawn);
}

} // namespace zarvo::test
