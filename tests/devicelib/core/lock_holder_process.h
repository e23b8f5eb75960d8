#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>

namespace zarvo::test {

// The lock-holder program, started with posix_spawn and driven over its
// standard input and output, one command and one reply per line:
//   hold <id>        -> held | busy | denied | error <text>
//   hold <id> wait   -> held (once the device lock is free)
//   release          -> released (the latest hold)
//   release timed    -> released <monotonic ns read just before the release>
//   exit             -> bye
class lock_holder_process {
public:
    lock_holder_process();
    // Ends the program (exit, or SIGKILL when it does not answer) and reaps it.
    ~lock_holder_process();
    lock_holder_process(const lock_holder_process&) = delete;
    lock_holder_process& operator=(const lock_holder_process&) = delete;

    void send(const std::string& line);
    // The next reply; throws std::runtime_error when none comes in time, so a
    // stuck program fails the test instead of hanging it.
    std::string reply(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Whether a reply is already waiting (does not wait).
    bool reply_pending();
    std::string command(const std::string& line)
    {
        send(line);
        return reply();
    }

    // SIGKILL, then waits until the process is gone.
    void kill();

private:
    pid_t pid_ = -1;
    int to_child_ = -1;
    int from_child_ = -1;
    std::string buffer_;
};

} // namespace zarvo::test
