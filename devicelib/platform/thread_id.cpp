#include "devicelib/platform/thread_id.h"

#include <unistd.h>

namespace zarvo::platform {

std::uint32_t current_thread_id() noexcept
{
    thread_local const std::uint32_t id = static_cast<std::uint32_t>(::gettid());
    return id;
}

} // namespace zarvo::platform
