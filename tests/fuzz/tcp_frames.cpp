// Network link framing: the device's side of one exchange, byte by byte,
// fed to a zftp_client over an AF_UNIX stream socketpair. Input: a mode byte
// (greeting and listening, query, download, upload; bit 2 the newer upload
// framing), a size byte for the host's parameters or payload (times 256),
// then the device's bytes: greeting, statuses, response frames and
// notifications as they come. The device's end is shut down for writing
// behind them, so the host meets the end of the stream, never a long wait.
// Every outcome must be a result code or one of the library's errors, and
// the observer hears of a lost link at most once.
#include "devicelib/core/posting.h"
#include "devicelib/dorvane/zftp_client.h"
#include "devicelib/errors/exception.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class removal_count
    : public zarvo::dorvane::zftp_client_observer::zftp_client_disconnection_observer {
public:
    void disconnected(zarvo::dorvane::zftp_client*) override { ++count; }
    int count = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const unsigned mode = data[0] % 4;
    const bool newer_framing = data[0] & 4;
    const std::size_t host_bytes = std::size_t{data[1]} * 256;
    data += 2;
    size -= 2;

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        std::abort();
    const int device = fds[1];
    // Well inside the socket's buffer, so the feed never blocks.
    if (size > 0 && send(device, data, std::min<std::size_t>(size, 65536), MSG_NOSIGNAL) < 0)
        std::abort();
    shutdown(device, SHUT_WR);

    removal_count removals;
    {
        zarvo::dorvane::zftp_client client(fds[0], 0x1234, 1, &removals);
        client.set_callback_timeout(50);
        client.set_greeting_timeout(50);
        client.set_server_version(newer_framing ? 2 : 1);
        const std::string bytes(host_bytes, '\x5A');
        try {
            switch (mode) {
            case 0: {
                std::string greeting;
                client.read_greeting(greeting);
                // The listening thread takes what follows; an operation
                // pauses it and answers from the rest.
                std::ostringstream out;
                client.read("/A", out);
                break;
            }
            case 1: {
                std::istringstream parameters(bytes);
                std::ostringstream result;
                client.query(7, parameters, result);
                break;
            }
            case 2: {
                std::ostringstream out;
                client.read("/F.BIN", out);
                break;
            }
            default: {
                std::istringstream payload(bytes);
                client.write("/F.BIN", payload);
                break;
            }
            }
        } catch (const zarvo::exception&) {
        }
    }
    if (removals.count > 1)
        std::abort();
    close(device);
    // An idling notification is posted to the core: the input ends once the
    // core has executed it (see hid_notification.cpp).
    zarvo::core::send_find_listener(nullptr);
    return 0;
}
