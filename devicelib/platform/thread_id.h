#pragma once

#include <cstdint>

namespace zarvo::platform {

// The system-wide id of the calling thread (gettid), cached per thread. Unlike
// pthread_self it is unique across processes at any one time and never 0.
std::uint32_t current_thread_id() noexcept;

} // namespace zarvo::platform
