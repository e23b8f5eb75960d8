// The session's conveniences over directory listings.
#include "devicelib/core/session.h"

#include "devicelib/errors/errors.h"

namespace zarvo {

entry::type_t session::entry_type(const std::string& text)
{
    // Taken as given: the parent and the name come from the caller's text.
    const path p(text);
    if (p.is_root())
        return entry::directory;
    std::set<entry> listing;
    // A listing refused because the parent is a file (a USB link answers so)
    // means the path is taken as a file.
    if (!fetch(p.parent().name(), listing))
        return entry::file;
    const auto found = listing.find(entry(p.basename()));
    if (found == listing.end())
        throw no_such_file_or_directory(text);
    return found->type();
}

bool session::is_file(const std::string& path)
{
    return entry_type(path) == entry::file;
}

bool session::is_directory(const std::string& path)
{
    return entry_type(path) == entry::directory;
}

void session::root(std::set<entry>& out)
{
    fetch("/", out);
}

} // namespace zarvo
