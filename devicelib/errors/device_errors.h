#pragma once

// Errors for failures on the device's side (answers 2 and 200 to 208).

#include "devicelib/errors/error_shapes.h"
#include "devicelib/errors/exception.h"

#include <stdexcept>
#include <string>

namespace zarvo {

class ZARVO_EXPORT unidentified_device_error : public std::runtime_error, public device_error {
public:
    ZARVO_ERROR_SHAPES_ALL(unidentified_device_error)
    ZARVO_ERROR_CONCRETE(unidentified_device_error)
};

class ZARVO_EXPORT not_implemented : public std::runtime_error, public device_error {
public:
    ZARVO_ERROR_SHAPES_ALL(not_implemented)
    ZARVO_ERROR_CONCRETE(not_implemented)
};

class ZARVO_EXPORT device_busy : public sharing_error, public device_error {
public:
    ZARVO_ERROR_SHAPES_ALL(device_busy)
    ZARVO_ERROR_CONCRETE(device_busy)
};

// The device asks the host to repeat the request later; postpone() is how
// much later (1000 unless given).
class ZARVO_EXPORT try_again : public device_busy {
public:
    static constexpr unsigned int default_postpone = 1000;

    explicit try_again(unsigned int postpone);
    try_again(unsigned int postpone, const std::exception& cause);
    try_again(unsigned int postpone, const char* detail);
    try_again(unsigned int postpone, const std::string& detail);
    try_again(unsigned int postpone, const char* detail, const std::exception& cause);
    try_again(unsigned int postpone, const std::string& detail, const std::exception& cause);
    ZARVO_ERROR_SHAPES_ALL(try_again)
    ZARVO_ERROR_CONCRETE(try_again)
    try_again(const try_again&) = default;
    try_again& operator=(const try_again&) = delete;

    unsigned int postpone() const { return postpone_; }

private:
    unsigned int postpone_;
};

class ZARVO_EXPORT invalid_content : public std::runtime_error, public device_error {
public:
    ZARVO_ERROR_SHAPES_PLAIN(invalid_content)
    ZARVO_ERROR_CONCRETE(invalid_content)
};

class ZARVO_EXPORT checksum_failure : public std::runtime_error, public device_error {
public:
    ZARVO_ERROR_SHAPES_ALL(checksum_failure)
    ZARVO_ERROR_CONCRETE(checksum_failure)
};

class ZARVO_EXPORT disk_full : public std::runtime_error, public device_error {
public:
    ZARVO_ERROR_SHAPES_PLAIN(disk_full)
    ZARVO_ERROR_CONCRETE(disk_full)
};

class ZARVO_EXPORT prerequisite_not_met : public std::runtime_error, public device_error {
public:
    ZARVO_ERROR_SHAPES_ALL(prerequisite_not_met)
    ZARVO_ERROR_CONCRETE(prerequisite_not_met)
};

class ZARVO_EXPORT insufficient_buffer : public std::logic_error, public device_error {
public:
    ZARVO_ERROR_SHAPES_PLAIN(insufficient_buffer)
    ZARVO_ERROR_CONCRETE(insufficient_buffer)
};

class ZARVO_EXPORT wait_for_idling : public device_busy {
public:
    ZARVO_ERROR_SHAPES_ALL(wait_for_idling)
    ZARVO_ERROR_CONCRETE(wait_for_idling)
};

} // namespace zarvo
