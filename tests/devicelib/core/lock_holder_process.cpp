#include "tests/devicelib/core/lock_holder_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace zarvo::test {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

lock_holder_process::lock_holder_process()
{
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        fail("pipe2");
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    char path[] = ZARVO_LOCK_HOLDER_PATH;
    char* argv[] = {path, nullptr};
    int error = ::posix_spawn(&pid_, path, &actions, nullptr, argv, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    to_child_ = in[1];
    from_child_ = out[0];
    if (error != 0) {
        errno = error;
        fail("posix_spawn");
    }
}

lock_holder_process::~lock_holder_process()
{
    if (pid_ > 0) {
        try {
            send("exit");
            reply(std::chrono::seconds(5));
        } catch (const std::exception&) {
            ::kill(pid_, SIGKILL);
        }
        int status;
        ::waitpid(pid_, &status, 0);
    }
    ::close(to_child_);
    ::close(from_child_);
}

void lock_holder_process::send(const std::string& line)
{
    std::string data = line + "\n";
    if (::write(to_child_, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
        fail("write to lock holder");
}

bool lock_holder_process::reply_pending()
{
    if (buffer_.find('\n') != std::string::npos)
        return true;
    pollfd p{from_child_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

std::string lock_holder_process::reply(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw std::runtime_error("lock holder did not answer in time");
        pollfd p{from_child_, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            fail("poll");
        if (ready <= 0)
            continue;
        char chunk[256];
        ssize_t got = ::read(from_child_, chunk, sizeof chunk);
        if (got == 0)
            throw std::runtime_error("lock holder closed its output");
        if (got < 0 && errno != EINTR)
            fail("read from lock holder");
        if (got > 0)
            buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

void lock_holder_process::kill()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    int status;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

} // namespace zarvo::test
