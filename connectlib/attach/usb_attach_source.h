#pragma once

// Where the attach listener learns of USB devices coming and going: a udev
// monitor, or (for tests and the device emulator) a folder of HID socket
// files named in ZARVO_HID_DIR.

#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace ConnectLib {

struct UsbIds {
    quint16 vendorId;
    quint16 productId;
};

struct UsbAttachEvent {
    bool arrival; // false: removal
    UsbIds ids;
};

class UsbAttachSource {
public:
    virtual ~UsbAttachSource();
    // Becomes readable when events are pending.
    virtual int fd() const = 0;
    // Everything pending, without blocking.
    virtual std::vector<UsbAttachEvent> readEvents() = 0;
};

// The folder source when ZARVO_HID_DIR is set and non-empty, else udev.
// Null, with the reason in failure, when the source cannot start.
std::unique_ptr<UsbAttachSource> openUsbAttachSource(QString& failure);
std::unique_ptr<UsbAttachSource> openUdevAttachSource(QString& failure);
std::unique_ptr<UsbAttachSource> openFolderAttachSource(const QString& folder, QString& failure);

// The ids of udev's PRODUCT property, "vid/pid/bcd" in hexadecimal without
// padding.
std::optional<UsbIds> parseUsbProductProperty(const char* text);
// The ids of a HID socket file name "<vid>-<pid>-<serial>.hid", vid and pid
// four lower-case hexadecimal digits, the serial 1 to 126 characters.
std::optional<UsbIds> parseHidSocketName(const QString& name);

} // namespace ConnectLib
