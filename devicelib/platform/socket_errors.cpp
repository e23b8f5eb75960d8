#include "devicelib/platform/socket_errors.h"

#include <cerrno>

namespace zarvo::platform {

int socket_error_code(int err)
{
    switch (err) {
    case ECONNRESET:
    case EPIPE:
        return 10054;
    case ECONNABORTED:
        return 10053;
    case ENETRESET:
        return 10052;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case EADDRNOTAVAIL:
        return 10049;
    case EINVAL:
        return 10022;
    case ENOBUFS:
        return 10055;
    default:
        return socket_error_base + err;
    }
}

bool is_connection_loss(int code)
{
    return code >= 10052 && code <= 10054;
}

} // namespace zarvo::platform
