#pragma once

// One connected stream socket of a device link: exact receives and whole
// sends that poll the socket beside the link's events, so a cancel, a stop
// or a pause request wakes them. Nothing stays pending in the kernel once a
// call returns. Any connected stream socket works (tests use AF_UNIX pairs).

#include "devicelib/platform/event.h"
#include "devicelib/platform/stream_outcome.h"

#include <cstddef>
#include <netinet/in.h>

namespace zarvo::platform {

// The events a transfer watches; each may be null.
struct stream_wakes {
    const event* abort = nullptr;
    const event* stop = nullptr;
    const event* pause = nullptr;
};

class tcp_stream {
public:
    // Takes fd (connected) and makes it non-blocking and close-on-exec.
    explicit tcp_stream(int fd);
    ~tcp_stream();
    tcp_stream(const tcp_stream&) = delete;
    tcp_stream& operator=(const tcp_stream&) = delete;

    int fd() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    void close();

    // Receives exactly n bytes. The time-out (ms, below 0 none) counts from
    // the last byte received; a pause request counts only before the first
    // byte. Bytes before a close are taken first.
    stream_result recv_exact(void* buffer, std::size_t n, int timeout_ms,
                             const stream_wakes& wakes);
    // Sends every byte. The abort is tested once before the first byte; a
    // begun send is finished within the time-out (counted from the last
    // progress), so the peer never sees part of a message.
    stream_result send_all(const void* bytes, std::size_t n, int timeout_ms, const event* abort);
    // Copies up to n bytes already received without taking them; 0 when
    // none are queued. Below 0: the errno of a failure.
    long peek(void* buffer, std::size_t n);
    // Waits until bytes (or a close) are ready to read; false on time-out or
    // when a wake fired (result then says which).
    bool wait_readable(int timeout_ms, const stream_wakes& wakes, stream_result& result);

private:
    int fd_;
};

// Connects a non-blocking, close-on-exec IPv6 stream socket with
// TCP_NODELAY to address. Ends early when stop is set (status stopped). On
// success fd holds the connected socket.
stream_result connect_ipv6(const sockaddr_in6& address, int timeout_ms, const event& stop, int& fd);

// Sets TCP_NODELAY on a TCP socket; other sockets are left as they are.
void set_no_delay(int fd);

} // namespace zarvo::platform
