#pragma once

// Where a driver's publications and withdrawals go: the core, unless a test
// records them.

#include <cstdint>

namespace zarvo::core {

class connection;

class connection_poster {
public:
    virtual ~connection_poster();
    // Ownership of c passes on.
    virtual void publish(std::uint64_t id, connection* c, unsigned delay_ms) = 0;
    virtual void withdraw(std::uint64_t id, connection* c) = 0;
};

// Posts to the core (post_publish_connection, post_withdraw_connection).
connection_poster& core_poster();

} // namespace zarvo::core
