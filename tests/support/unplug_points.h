#pragma once

// The places in a multi-report file transfer where a USB device is pulled:
// every report boundary of a read and a write, and the waits for an answer.
// The device library's and the connection library's unplug tables run the
// same points.

#include "tools/emulator/usb_front_end.h"

namespace zarvo::test {

enum class transfer { read, write };

// When the device goes: the point has passed a number of times, counted
// from the start of the transfer.
enum class moment { first, second, middle, last };

struct unplug_point {
    const char* name;
    transfer kind;
    emulator::usb_front_end::point where;
    moment when;
};

inline constexpr unplug_point unplug_points[] = {
    {"read: request sent, no answer yet", transfer::read,
     emulator::usb_front_end::point::before_response_report, moment::first},
    {"read: after the first report", transfer::read,
     emulator::usb_front_end::point::before_response_report, moment::second},
    {"read: in the middle", transfer::read, emulator::usb_front_end::point::before_response_report,
     moment::middle},
    {"read: before the last report", transfer::read,
     emulator::usb_front_end::point::before_response_report, moment::last},
    {"write: first report sent, not acknowledged", transfer::write,
     emulator::usb_front_end::point::before_ack, moment::first},
    {"write: after the first acknowledgement", transfer::write,
     emulator::usb_front_end::point::before_ack, moment::second},
    {"write: in the middle", transfer::write, emulator::usb_front_end::point::before_ack,
     moment::middle},
    {"write: the acknowledgement before the last report", transfer::write,
     emulator::usb_front_end::point::before_ack, moment::last},
    {"write: last report sent, no answer yet", transfer::write,
     emulator::usb_front_end::point::before_response_report, moment::last},
};

// How often the point passes before the device goes, when an undisturbed
// transfer passes it total times.
inline unsigned passes_before(moment when, unsigned total)
{
    switch (when) {
    case moment::first:
        return 0;
    case moment::second:
        return 1;
    case moment::middle:
        return total / 2;
    case moment::last:
        break;
    }
    return total - 1;
}

} // namespace zarvo::test
