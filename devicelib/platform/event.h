#pragma once

namespace zarvo::platform {

// A manual-reset flag backed by an eventfd, so that a transfer can poll for
// it beside the device. Once set it stays set until reset. Tested without
// waiting through is_set(); waited for by polling fd() for POLLIN.
class event {
public:
    event();
    ~event();
    event(const event&) = delete;
    event& operator=(const event&) = delete;

    void set();
    void reset();
    bool is_set() const;
    int fd() const { return fd_; }

private:
    int fd_;
};

} // namespace zarvo::platform
