#pragma once

// The benchmark program is linked with the C library's send, recv, poll,
// read and write wrapped (see bench/CMakeLists.txt), so that it can count the
// system calls the report framing makes: every thread's, and the calling
// thread's own.
namespace zarvo::bench {

unsigned long long calls_in_all_threads();
unsigned long long calls_in_this_thread();

} // namespace zarvo::bench
