#include "devicelib/usb/hid_connection.h"

#include "devicelib/core/posting.h"
#include "devicelib/proto/message_io.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/trace/trace.h"

namespace zarvo::usb {

// Only posts to the core, which never blocks: this runs on the notification
// thread or inside a running exchange.
bool hid_connection::notification(unsigned id, std::istream& parameters)
{
    switch (id) {
    case protocol::FILESYSTEM_MODIFIED: {
        protocol::PbZFtpFilesystemModifiedParams modified;
        if (read_message(parameters, modified))
            ZARVO_TRACE("zarvo::usb::hid_connection::notification", "FIXME: implement.");
        return true;
    }
    case protocol::INTERNAL_TEST_EVENT:
        return true;
    case protocol::IDLING:
        core::post_device_idle(device_id());
        return true;
    case protocol::BATTERY_STATUS: {
        protocol::PbZFtpBatteryStatus status;
        if (read_message(parameters, status))
            core::post_battery_status_change(device_id(),
                                             static_cast<int>(status.battery_status()));
        return true;
    }
    case protocol::SYNC_REQUIRED:
        core::post_sync_required(device_id());
        return true;
    default:
        ZARVO_TRACE("zarvo::usb::hid_connection::notification",
                    "Unidentified HID notification id %lu.", static_cast<unsigned long>(id));
        ZARVO_TRACE("zarvo::usb::hid_connection::notification",
                    "Failed to handle HID notification.");
        return false;
    }
}

} // namespace zarvo::usb
