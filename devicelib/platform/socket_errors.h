#pragma once

// The device link's transport codes for socket failures. The network link
// reports a broken connection with the codes 10052 to 10054 and other socket
// failures with their classic socket error numbers; an errno without such a
// number moves to 20000 + errno, outside every device answer code, so a
// socket failure never reads as a device's answer (ECONNRESET is 104, the
// device's "directory exists").

namespace zarvo::platform {

constexpr int socket_error_base = 20000;
// The connection was reset or closed by the peer.
constexpr int connection_reset_code = 10054;

int socket_error_code(int err);

// 10052 to 10054: the link is gone and its owner must be told.
bool is_connection_loss(int code);

} // namespace zarvo::platform
