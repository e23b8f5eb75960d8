#pragma once

// Helpers of the session and session lock tests.

#include "tests/support/fake_connection.h"

#include <future>
#include <utility>
#include <vector>

namespace zarvo::test {

// The calls of one operation that a fake connection recorded, in order.
inline std::vector<connection_call> calls_of(const fake_connection& c, connection_op op)
{
    std::vector<connection_call> out;
    for (const auto& call : c.calls())
        if (call.op == op)
            out.push_back(call);
    return out;
}

inline int count(const fake_connection& c, connection_op op)
{
    return static_cast<int>(calls_of(c, op).size());
}

// Runs f on a thread of its own; returns what it returned or rethrows.
template <typename F>
auto elsewhere(F&& f)
{
    return std::async(std::launch::async, std::forward<F>(f)).get();
}

} // namespace zarvo::test
