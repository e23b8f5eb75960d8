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
                        element.name().c_str());
            continue;
        }
        out.insert(entry(type, name, element.size()));
    }
    return true;
}

} // namespace zarvo::core
