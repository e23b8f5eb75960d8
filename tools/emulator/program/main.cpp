// The HID emulator program: emulated wrist devices plugged into and pulled
// from a directory of seam socket files, which the HID driver watches when
// ZARVO_HID_DIR names it.
//
//   zarvo_hid_emulator --hid-dir DIR
//
// One command per line on standard input, each answered by one line on
// standard output: "ok" for an action, "ok " and the value for a question,
// or "error: " and the reason. Serials, paths and folders contain no spaces.
//   plug SERIAL [VID PID]   vid and pid in hexadecimal; by default the
//                           devices' vendor id and product 0008. The device
//                           names the id its serial gives (leading zeros
//                           skipped, hexadecimal digits up to the first
//                           other character) in "/DEVICE.BPB".
//   unplug SERIAL
//   unplug SERIAL during PATH [REPORTS]
//                           arms an unplug: the next read of PATH is held,
//                           then goes on, and the device goes after REPORTS
//                           response reports of it (0 by default: before
//                           the first)
//   list                    "ok" and the plugged files' names
//   seed SERIAL DIR         copies the folder's tree into the device's files
//   cat SERIAL PATH         the file's bytes as Base64
//   ls SERIAL PATH          a JSON array of the folder's names, folders
//                           ending in "/"
//   clock SERIAL            the system clock in universal time and
//                           "trusted" or "untrusted", then the local clock
//                           with its offset, in ISO 8601:
//                           "ok 2026-01-01T12:00:00Z trusted 2026-01-01T14:00:00+02:00"
//   version SERIAL          the firmware version, "ok 3.2.18-beta"
//   quit
// A device's files stay from plug to plug. A device restarts after a factory
// reset and after a complete upload of "/SYSUPDAT.IMG" whose first line is a
// version ("4.0.0"), which it then runs: it goes away once it has answered,
// and comes back half a second later.
// At the end of input, on quit and on SIGTERM or SIGINT every device is
// unplugged (its file removed) and the program exits.

#include "tools/emulator/program/emulator_program.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

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

    zarvo::emulator::emulator_program program(argv[2]);
    std::string pending;
    for (bool done = false; !done;) {
        // The devices' own doings (restarts, held reads) between commands.
        const int wait_ms = program.run_pending();
        pollfd fds[3] = {
            {STDIN_FILENO, POLLIN, 0}, {signal_fd, POLLIN, 0}, {program.wake_fd(), POLLIN, 0}};
        if (::poll(fds, 3, wait_ms) < 0) {
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
