#pragma once

#include <cstddef>

// The table that the build generates from the library's resource files
// (cmake/EmbedResources.cmake). Read only by find_resource.
namespace zarvo::platform::detail {

struct builtin_resource {
    unsigned int id;
    const char* data;
    std::size_t size;
};

extern const builtin_resource builtin_resources[];
extern const std::size_t builtin_resource_count;

} // namespace zarvo::platform::detail
