#include "tools/emulator/file_system.h"

#include "tools/emulator/answers.h"

namespace zarvo::emulator {

// Children are kept in a map keyed by name, which orders them byte by byte
// (std::char_traits<char> compares as unsigned char): the listing order.
struct file_system::node {
    bool directory = false;
    std::string content;
    std::map<std::string, std::unique_ptr<node>> children;

    static std::unique_ptr<node> make_directory()
    {
        auto out = std::make_unique<node>();
        out->directory = true;
        return out;
    }
};

file_system::file_system(std::uint32_t fragment_size, std::uint64_t total_fragments)
    : root_(node::make_directory())
    , fragment_size_(fragment_size == 0 ? 1 : fragment_size)
    , total_fragments_(total_fragments)
{
}

file_system::~file_system() = default;

std::uint64_t file_system::fragments(std::uint64_t bytes) const
{
    return (bytes + fragment_size_ - 1) / fragment_size_;
}

std::uint64_t file_system::subtree_fragments(const node& n) const
{
    if (!n.directory)
        return fragments(n.content.size());
    std::uint64_t sum = 0;
    for (const auto& child : n.children)
        sum += subtree_fragments(*child.second);
    return sum;
}

std::uint64_t file_system::free_fragments() const
{
    const std::uint64_t used = used_fragments();
    return used >= total_fragments_ ? 0 : total_fragments_ - used;
}

bool file_system::fits(std::uint64_t old_fragments, std::uint64_t new_fragments) const
{
    return new_fragments <= old_fragments || new_fragments - old_fragments <= free_fragments();
}

void file_system::replace_content(node& file, std::string content)
{
    used_fragments_ -= fragments(file.content.size());
    file.content = std::move(content);
    used_fragments_ += fragments(file.content.size());
}

file_system::node* file_system::find(const device_path& path) const
{
    node* current = root_.get();
    for (const auto& component : path.components) {
        if (!current->directory)
            return nullptr;
        const auto it = current->children.find(component);
        if (it == current->children.end())
            return nullptr;
        current = it->second.get();
    }
    return current;
}

file_system::node* file_system::find_or_make_directories(const device_path& path)
{
    node* current = root_.get();
    for (const auto& component : path.components) {
        auto& child = current->children[component];
        if (!child)
            child = node::make_directory();
        if (!child->directory)
            return nullptr;
        current = child.get();
    }
    return current;
}

// GET: a directory path ("dir/" or "/") lists; a file path gives the bytes.
// A file asked for in directory form is file_exists, a directory asked for as
// a file is not_permitted.
int file_system::get(const device_path& path, std::vector<listing_entry>& listing,
                     std::string& content) const
{
    const node* target = find(path);
    if (!target)
        return answer::no_such_entry;
    if (path.directory_form || path.is_root()) {
        if (!target->directory)
            return answer::file_exists;
        listing.clear();
        listing.reserve(target->children.size());
        for (const auto& [name, child] : target->children)
            listing.push_back(
                {name, child->directory, child->directory ? 0 : child->content.size()});
        return answer::ok;
    }
    if (target->directory)
        return answer::not_permitted;
    content = target->content;
    return answer::ok;
}

// PUT: "dir/" creates one directory (its parent must exist); a file path
// creates or replaces the file.
int file_system::put(const device_path& path, const std::string& content)
{
    node* existing = find(path);
    if (path.directory_form || path.is_root()) {
        if (existing)
            return existing->directory ? answer::directory_exists : answer::file_exists;
        node* parent = find(path.parent());
        if (!parent || !parent->directory)
            return answer::no_such_entry;
        parent->children[path.name()] = node::make_directory();
        return answer::ok;
    }
    if (existing && existing->directory)
        return answer::not_permitted;
    node* parent = find(path.parent());
    if (!parent || !parent->directory)
        return answer::no_such_entry;
    const std::uint64_t old_fragments = existing ? fragments(existing->content.size()) : 0;
    if (!fits(old_fragments, fragments(content.size())))
        return answer::disk_full;
    auto& slot = parent->children[path.name()];
    if (!slot)
        slot = std::make_unique<node>();
    replace_content(*slot, content);
    return answer::ok;
}

// MERGE: concatenating two serialized messages is the protocol-buffer merge,
// so the payload is appended to the stored bytes. A missing file is created
// when its parent exists. The check sees the merged bytes first and may refuse
// them; then nothing changes.
int file_system::merge(const device_path& path, const std::string& payload,
                       const merge_check& check)
{
    if (path.is_root() || path.directory_form)
        return answer::invalid_parameter;
    node* existing = find(path);
    if (existing && existing->directory)
        return answer::not_permitted;
    node* parent = find(path.parent());
    if (!parent || !parent->directory)
        return answer::no_such_entry;
    std::string merged = existing ? existing->content + payload : payload;
    if (check) {
        const int verdict = check(path, merged);
        if (verdict != answer::ok)
            return verdict;
    }
    const std::uint64_t old_fragments = existing ? fragments(existing->content.size()) : 0;
    if (!fits(old_fragments, fragments(merged.size())))
        return answer::disk_full;
    auto& slot = parent->children[path.name()];
    if (!slot)
        slot = std::make_unique<node>();
    replace_content(*slot, std::move(merged));
    return answer::ok;
}

// REMOVE: a file, or a directory with everything under it in one request
// (the host removes whole day folders so). The root stays.
int file_system::remove(const device_path& path)
{
    if (path.is_root())
        return answer::not_permitted;
    node* existing = find(path);
    if (!existing)
        return answer::no_such_entry;
    if (path.directory_form && !existing->directory)
        return answer::file_exists;
    erase(path);
    return answer::ok;
}

bool file_system::set_file(const device_path& path, std::string content)
{
    if (path.is_root())
        return false;
    node* parent = find_or_make_directories(path.parent());
    if (!parent)
        return false;
    auto& slot = parent->children[path.name()];
    if (slot && slot->directory)
        return false;
    if (!slot)
        slot = std::make_unique<node>();
    replace_content(*slot, std::move(content));
    return true;
}

bool file_system::make_directory(const device_path& path)
{
    return find_or_make_directories(path) != nullptr;
}

bool file_system::erase(const device_path& path)
{
    if (path.is_root())
        return false;
    node* parent = find(path.parent());
    if (!parent || !parent->directory)
        return false;
    const auto it = parent->children.find(path.name());
    if (it == parent->children.end())
        return false;
    used_fragments_ -= subtree_fragments(*it->second);
    parent->children.erase(it);
    return true;
}

std::optional<std::string> file_system::file(const device_path& path) const
{
    const node* target = find(path);
    if (!target || target->directory)
        return std::nullopt;
    return target->content;
}

bool file_system::is_directory(const device_path& path) const
{
    const node* target = find(path);
    return target && target->directory;
}

void file_system::clear()
{
    root_ = node::make_directory();
    used_fragments_ = 0;
    reclaimable_fragments_ = 0;
}

} // namespace zarvo::emulator
