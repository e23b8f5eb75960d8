// The HID emulator program: emulated wrist devices plugged into and pulled
// from a directory of seam socket files, which the HID driver watches when
// ZARVO_HID_DIR names it.
//
//   zarvo_hid_emulator --hid-dir DIR
//
// One command per line on standard input, each answered by one line on
// standard output, "ok" (for list followed by the plugged files' names) or an
// error text:
//   plug SERIAL [VID PID]   vid and pid in hexadecimal; by default the
//                           devices' vendor id and product 0008
//   unplug SERIAL
//   list
//   quit
// At the end of input, on quit and on SIGTERM or SIGINT every device is
// unplugged (its file removed) and the program exits.

#include "devicelib/platform/hid_identity.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/usb_hub.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

using zarvo::emulator::usb_hub;
using zarvo::emulator::usb_identity;

// 1 to 4 hexadecimal digits in either case.
std::optional<std::uint16_t> parse_id(std::string text)
{
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return zarvo::platform::parse_seam_id(std::string(4 - text.size(), '0') + text);
}

std::string file_name(const usb_identity& identity)
{
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x-%04x-", identity.vendor, identity.product);
    return ids + identity.serial + ".hid";
}

class emulator_program {
public:
    explicit emulator_program(const std::string& dir)
        : hub_(dir)
    {
    }

    // The answer line; sets done on quit.
    std::string run(const std::string& line, bool& done)
    {
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string word; in >> word;)
            words.push_back(word);
        if (words.empty())
            return {};
        try {
            const std::string& command = words[0];
            if (command == "plug")
                return plug(words);
            if (command == "unplug" && words.size() == 2) {
                hub_.unplug(words[1]);
                return "ok";
            }
            if (command == "list" && words.size() == 1)
                return list();
            if (command == "quit" && words.size() == 1) {
                done = true;
                return "ok";
            }
            return "error: usage: plug SERIAL [VID PID] | unplug SERIAL | list | quit";
        } catch (const std::exception& e) {
            return std::string("error: ") + e.what();
        }
    }

private:
    std::string plug(const std::vector<std::string>& words)
    {
        if (words.size() != 2 && words.size() != 4)
            return "error: usage: plug SERIAL [VID PID]";
        usb_identity identity;
        identity.serial = words[1];
        if (words.size() == 4) {
            const auto vendor = parse_id(words[2]);
            const auto product = parse_id(words[3]);
            if (!vendor || !product)
                return "error: VID and PID are 1 to 4 hexadecimal digits";
            identity.vendor = *vendor;
            identity.product = *product;
        }
        if (identity.serial.find('/') != std::string::npos ||
            !zarvo::platform::parse_seam_name(file_name(identity)))
            return "error: a serial is 1 to 126 characters without '/'";
        auto& model = models_[identity.serial];
        if (!model)
            model = std::make_unique<zarvo::emulator::device_model>();
        hub_.plug(identity, *model);
        return "ok";
    }

    std::string list() const
    {
        std::string answer = "ok";
        for (const auto& identity : hub_.plugged())
            answer += ' ' + file_name(identity);
        return answer;
    }

    // Before the hub: the hub's devices serve these models until it goes.
    std::map<std::string, std::unique_ptr<zarvo::emulator::device_model>> models_;
    usb_hub hub_;
};

int usage()
{
    std::cerr << "usage: zarvo_hid_emulator --hid-dir DIR\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || std::string(argv[1]) != "--hid-dir" || !*argv[2])
        return usage();

    // A reader that went away must not end the program before it unplugs.
    std::signal(SIGPIPE, SIG_IGN);
    // Signals arrive as readable data beside standard input.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signal_fd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    if (signal_fd < 0) {
        std::perror("signalfd");
        return 1;
    }

    emulator_program program(argv[2]);
    std::string pending;
    for (bool done = false; !done;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signal_fd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        if (!fds[0].revents)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; !done && (end = pending.find('\n')) != std::string::npos;) {
            const std::string answer = program.run(pending.substr(0, end), done);
            pending.erase(0, end + 1);
            if (!answer.empty())
                std::cout << answer << std::endl;
        }
    }
    ::close(signal_fd);
    // The program's destruction unplugs every device.
    return 0;
}
