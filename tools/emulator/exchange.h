#pragma once

#include <cstdint>
#include <string>

namespace zarvo::emulator {

enum class exchange_kind { file_operation, query, host_notification, device_notification };
enum class direction { host_to_device, device_to_host };

// The file operation commands, numbered as on the wire.
enum class command : int { get = 0, put = 1, merge = 2, remove = 3 };

// What an exchange gives back: the answer code and, for file reads and
// queries, the result bytes.
struct reply {
    int answer = 0;
    std::string payload;
};

// One line of the transcript.
struct exchange_record {
    std::uint64_t sequence = 0;
    direction way = direction::host_to_device;
    exchange_kind kind = exchange_kind::file_operation;
    // The command of a file operation, the id of a query or notification.
    int code = 0;
    // File operations only.
    std::string path;
    // Parameters of a query or notification, payload of a PUT or MERGE.
    std::string data;
    int answer = 0;
    // Bytes read or the query's result.
    std::string result;
};

const char* to_string(exchange_kind kind);

} // namespace zarvo::emulator
