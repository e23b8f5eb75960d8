#include "tests/support/child_program.h"

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarvo::test {

child_program::child_program(const std::string& path, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) < 0 || ::pipe2(out, O_CLOEXEC) < 0)
        throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
}

child_program::~child_program()
{
    close_input();
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(output_);
}

std::string child_program::command(const std::string& line)
{
    const std::string text = line + "\n";
    if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return {};
    return read_line();
}

void child_program::terminate()
{
    ::kill(pid_, SIGTERM);
}

void child_program::close_input()
{
    if (input_ >= 0)
        ::close(input_);
    input_ = -1;
}

int child_program::wait_exit()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

std::string child_program::read_line(int timeout_ms)
{
    for (;;) {
        const auto end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return line;
        }
        pollfd p{output_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0)
            return {};
        char chunk[256];
        const ssize_t got = ::read(output_, chunk, sizeof chunk);
        if (got <= 0)
            return {};
        buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

} // namespace zarvo::test
