#include "tools/emulator/program/answer_texts.h"

#include "devicelib/proto/message_io.h"
#include "devicelib/proto/zftp_request.pb.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace zarvo::emulator {
namespace {

std::string date_time(const ::PbDate& date, const ::PbTime& time)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", date.year(), date.month(),
                  date.day(), time.hour(), time.minute(), time.seconds());
    std::string out = text;
    if (time.millis() != 0) {
        std::snprintf(text, sizeof text, ".%03u", time.millis());
        out += text;
    }
    return out;
}

// "+02:00" for 120 minutes, "-05:30" for -330.
std::string offset_text(std::int32_t minutes)
{
    const long magnitude = std::labs(static_cast<long>(minutes));
    char text[16];
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

template <typename Params>
std::optional<Params> parsed(const std::string& bytes)
{
    Params params;
    std::istringstream in(bytes);
    if (!zarvo::read_message(in, params))
        return std::nullopt;
    return params;
}

} // namespace

std::string base64(const std::string& bytes)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = bytes.size() - at;
        std::uint32_t group = static_cast<unsigned char>(bytes[at]) << 16;
        if (left > 1)
            group |= static_cast<unsigned char>(bytes[at + 1]) << 8;
        if (left > 2)
            group |= static_cast<unsigned char>(bytes[at + 2]);
        out += alphabet[group >> 18 & 63];
        out += alphabet[group >> 12 & 63];
        out += left > 1 ? alphabet[group >> 6 & 63] : '=';
        out += left > 2 ? alphabet[group & 63] : '=';
    }
    return out;
}

std::string json_array(const std::vector<std::string>& texts)
{
    std::string out = "[";
    for (const std::string& text : texts) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        for (const char c : text) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
        out += '"';
    }
    return out + "]";
}

std::optional<std::string> system_clock_text(const std::string& parameters)
{
    const auto clock = parsed<protocol::PbZFtpSetSystemTimeParams>(parameters);
    if (!clock)
        return std::nullopt;
    return date_time(clock->date(), clock->time()) + "Z " +
           (clock->trusted() ? "trusted" : "untrusted");
}

std::optional<std::string> local_clock_text(const std::string& parameters)
{
    const auto clock = parsed<protocol::PbZFtpSetLocalTimeParams>(parameters);
    if (!clock)
        return std::nullopt;
    std::string out = date_time(clock->date(), clock->time());
    if (clock->has_tz_offset())
        out += offset_text(clock->tz_offset());
    return out;
}

} // namespace zarvo::emulator
