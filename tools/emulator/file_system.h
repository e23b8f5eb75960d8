#pragma once

#include "tools/emulator/device_path.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarvo::emulator {

// The device's in-memory file system with its disk accounting. Not
// thread-safe: the device model serialises every call.
//
// Space: each file takes its size rounded up to whole fragments (an empty
// file takes none, directories take none), plus a reclaimable amount that a
// disk clean-up gives back. Writes that would exceed the total are refused
// with disk_full and change nothing.
class file_system {
public:
    struct listing_entry {
        std::string name;
        bool directory = false;
        std::uint64_t size = 0;
    };

    // Checks the content a MERGE would leave at a path: an answer code,
    // answer::ok to accept.
    using merge_check = std::function<int(const device_path&, const std::string& merged)>;

    file_system(std::uint32_t fragment_size, std::uint64_t total_fragments);
    ~file_system();

    // The device's file operations, each answering with an answer code.
    int get(const device_path& path, std::vector<listing_entry>& listing,
            std::string& content) const;
    int put(const device_path& path, const std::string& content);
    int merge(const device_path& path, const std::string& payload, const merge_check& check);
    int remove(const device_path& path);

    // Direct access for tests and seeding: no answer codes, no space check.
    // Parents are created as needed; false when a file is in the way.
    bool set_file(const device_path& path, std::string content);
    bool make_directory(const device_path& path);
    bool erase(const device_path& path);
    std::optional<std::string> file(const device_path& path) const;
    bool is_directory(const device_path& path) const;
    void clear();

    std::uint32_t fragment_size() const { return fragment_size_; }
    std::uint64_t total_fragments() const { return total_fragments_; }
    std::uint64_t used_fragments() const { return used_fragments_ + reclaimable_fragments_; }
    std::uint64_t free_fragments() const;
    void set_total_fragments(std::uint64_t total) { total_fragments_ = total; }
    void set_reclaimable_fragments(std::uint64_t fragments) { reclaimable_fragments_ = fragments; }
    // Gives the reclaimable fragments back.
    void reclaim() { reclaimable_fragments_ = 0; }

private:
    struct node;

    node* find(const device_path& path) const;
    node* find_or_make_directories(const device_path& path);
    std::uint64_t fragments(std::uint64_t bytes) const;
    std::uint64_t subtree_fragments(const node& n) const;
    bool fits(std::uint64_t old_fragments, std::uint64_t new_fragments) const;
    void replace_content(node& file, std::string content);

    std::unique_ptr<node> root_;
    std::uint32_t fragment_size_;
    std::uint64_t total_fragments_;
    std::uint64_t used_fragments_ = 0;
    std::uint64_t reclaimable_fragments_ = 0;
};

} // namespace zarvo::emulator
