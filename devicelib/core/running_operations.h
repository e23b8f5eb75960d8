#pragma once

// The device operations running in this process, so that a system sleep can
// let them end first: the sleep lock is held until they returned or, past a
// bound, were cancelled.

#include <chrono>

namespace zarvo::core {

class session;

// Marks one device operation on s as running for its lifetime. Outermost in
// the operation's frame: no session mutex is held when it ends.
class running_operation {
public:
    explicit running_operation(session& s);
    ~running_operation();
    running_operation(const running_operation&) = delete;
    running_operation& operator=(const running_operation&) = delete;

private:
    session& session_;
};

// How many device operations run now.
int running_operation_count();

// Waits until no device operation runs, at most wait; then cancels the
// sessions of those still running and waits at most grace more. Returns
// whether none runs.
bool settle_running_operations(std::chrono::milliseconds wait, std::chrono::milliseconds grace);

} // namespace zarvo::core
