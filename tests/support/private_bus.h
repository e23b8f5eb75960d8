#pragma once

// A D-Bus daemon of the test's own, standing in for the system bus. Its
// socket lies in a folder of this process, at the same path for every bus
// the process starts, and DBUS_SYSTEM_BUS_ADDRESS names it: libdbus reads
// that variable once, at the process's first connection to the system bus,
// so a bus started again (after kill()) is found at the same address.
//
// Create it before anything in the process connects to the system bus and
// before the test starts threads (it sets the environment).

#include <string>

#include <sys/types.h>

namespace zarvo::test {

class private_bus {
public:
    // Starts the daemon and waits until it accepts connections; throws
    // std::runtime_error when it cannot.
    private_bus();
    // Ends the daemon (by its pid) and removes its socket.
    ~private_bus();
    private_bus(const private_bus&) = delete;
    private_bus& operator=(const private_bus&) = delete;

    // "unix:path=...", as the environment names it.
    const std::string& address() const { return address_; }
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }
    // Kills the daemon at once, as a crash would, and waits for it.
    void kill();
    // Starts a daemon again at the same address.
    void restart();

private:
    void launch();

    std::string dir_;
    std::string address_;
    pid_t pid_ = -1;
};

} // namespace zarvo::test
