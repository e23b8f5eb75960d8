// The emulator program as a child process, driven through its standard input
// the way a person or a script drives it, with the real core and the
// registered HID driver in this process.
#include "devicelib/core/session.h"
#include "devicelib/core/session_lock.h"
#include "tests/devicelib/usb/usb_test_device.h"
#include "tests/support/fake_listener.h"
#include "tests/support/temp_dir.h"
#include "tools/emulator/device_model.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zarvo::test {
namespace {

namespace fs = std::filesystem;

// The program with pipes on its standard input and output.
class child_program {
public:
    explicit child_program(const fs::path& dir)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) < 0 || ::pipe2(out, O_CLOEXEC) < 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::execl(ZARVO_HID_EMULATOR_PATH, ZARVO_HID_EMULATOR_PATH, "--hid-dir", dir.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }

    ~child_program()
    {
        close_input();
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(output_);
    }

    // Sends one command and returns its answer line ("" after a time-out).
    std::string command(const std::string& line)
    {
        const std::string text = line + "\n";
        if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return {};
        return read_line();
    }

    void close_input()
    {
        if (input_ >= 0)
            ::close(input_);
        input_ = -1;
    }

    // The exit status once the program has ended; -1 when it did not end.
    int wait_exit()
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

private:
    std::string read_line()
    {
        std::string line;
        for (;;) {
            const auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            pollfd p{output_, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0)
                return {};
            char chunk[256];
            const ssize_t got = ::read(output_, chunk, sizeof chunk);
            if (got <= 0)
                return {};
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

TEST(hid_emulator_program, plugs_serves_unplugs_and_exits_when_its_input_closes)
{
    temp_dir root;
    const fs::path dir = root / "Hid";
    fs::create_directory(dir);
    usb_test_device device;
    ::setenv("ZARVO_HID_DIR", dir.c_str(), 1);
    fake_listener listener;
    listener.start();
    {
        child_program program(dir);
        EXPECT_EQ(program.command("plug " + device.serial()), "ok");
        EXPECT_NE(program.command("plug " + device.serial()).rfind("error", 0), std::string::npos)
            << "already plugged";
        EXPECT_NE(program.command("bogus").rfind("error", 0), std::string::npos);
        EXPECT_NE(program.command("list").find(device.serial() + ".hid"), std::string::npos);

        ASSERT_TRUE(listener.wait_for(callback::established, device.id()));
        zarvo::session* s = listener.session_of(device.id());
        ASSERT_NE(s, nullptr);
        {
            zarvo::session_lock lock(*s, 0);
            std::ostringstream content;
            s->read("/DEVICE.BPB", content);
            EXPECT_EQ(content.str(), ::emulator::device_model().file("/DEVICE.BPB").value());
        }

        EXPECT_EQ(program.command("unplug " + device.serial()), "ok");
        ASSERT_TRUE(listener.wait_for(callback::disconnected, device.id()));
        EXPECT_EQ(program.command("list"), "ok");

        EXPECT_EQ(program.command("plug " + device.serial()), "ok");
        program.close_input();
        EXPECT_EQ(program.wait_exit(), 0);
        // Leaving, it unplugged its devices and removed their files.
        EXPECT_TRUE(fs::is_empty(dir));
    }
    listener.stop();
    ::unsetenv("ZARVO_HID_DIR");
    EXPECT_EQ(listener.count(callback::disconnected, device.id()),
              listener.count(callback::established, device.id()));
}

} // namespace
} // namespace zarvo::test
