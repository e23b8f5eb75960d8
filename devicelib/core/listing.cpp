#include "devicelib/core/listing.h"

#include "devicelib/proto/message_io.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "devicelib/trace/trace.h"

#include <string>

namespace zarvo::core {
namespace {

bool acceptable(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

// A device-given name as a trace line shows it: control bytes, DEL and NUL
// become \xNN, so a hostile name can neither cut the line short nor write
// terminal escape sequences into the log.
std::string printable(const std::string& name)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0x0f];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

bool insert_listing(std::istream& in, std::set<entry>& out)
{
    protocol::PbZFtpDirectory listing;
    if (!read_message(in, listing))
        return false;
    for (const auto& element : listing.entries()) {
        std::string name = element.name();
        auto type = entry::file;
        if (!name.empty() && name.back() == '/') {
            type = entry::directory;
            name.pop_back();
        }
        if (!acceptable(name)) {
            ZARVO_TRACE("zarvo::core::insert_listing", "Skipped the listing entry '%s'.",
                        printable(element.name()).c_str());
            continue;
        }
        out.insert(entry(type, name, element.size()));
    }
    return true;
}

} // namespace zarvo::core
