#pragma once

// logind on a private bus for the worker tests whose operations block sleep
// and shutdown. A fixture takes it as its first base, so that the bus is
// named before the fixture starts any thread.

#include "tests/support/fake_logind.h"
#include "tests/support/private_bus.h"

#include <algorithm>

namespace ConnectLib::Test {

struct WithLogind {
    zarvo::test::private_bus bus;
    zarvo::test::fake_logind logind{bus.address()};
};

// The block locks asked for on sleep and shutdown; a delay lock of the power
// driver does not count.
inline int blockCalls(const zarvo::test::fake_logind& logind)
{
    const auto calls = logind.calls();
    return int(std::count_if(calls.begin(), calls.end(), [](const zarvo::test::inhibit_call& c) {
        return c.what == "sleep:shutdown" && c.mode == "block";
    }));
}

} // namespace ConnectLib::Test
