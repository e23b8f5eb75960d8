#include "devicelib/platform/resource.h"

#include "devicelib/platform/resource_table.h"

#include <cerrno>

namespace zarvo::platform {

int find_resource(unsigned int id, std::string_view& bytes) noexcept
{
    for (std::size_t i = 0; i < detail::builtin_resource_count; ++i) {
        const auto& resource = detail::builtin_resources[i];
        if (resource.id == id) {
            bytes = std::string_view(resource.data, resource.size);
            return 0;
        }
    }
    return ENOENT;
}

} // namespace zarvo::platform
