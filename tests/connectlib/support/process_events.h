#pragma once

#include <functional>

namespace ConnectLib::Test {

// Processes the calling thread's events until done() holds; false (and a
// test failure) when it does not within limitMs.
bool processUntil(const std::function<bool()>& done, int limitMs = 20000);
// Processes the calling thread's events for ms milliseconds: for checking
// that something does not happen.
void processFor(int ms);

} // namespace ConnectLib::Test
