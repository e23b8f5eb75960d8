#include "connectlib/attach/usb_attach_source.h"

#include "devicelib/platform/hid_identity.h"

#include <QByteArray>
#include <QList>

#include <cctype>

namespace ConnectLib {

namespace {

std::optional<quint16> parseHex(const QByteArray& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (text.isEmpty() || !ok || value > 0xffff)
        return std::nullopt;
    // toUInt accepts blanks and a "0x" prefix; the property holds neither.
    for (const char ch : text) {
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            return std::nullopt;
    }
    return quint16(value);
}

} // namespace

UsbAttachSource::~UsbAttachSource() = default;

std::unique_ptr<UsbAttachSource> openUsbAttachSource(QString& failure)
{
    const QString folder = qEnvironmentVariable("ZARVO_HID_DIR");
    if (!folder.isEmpty())
        return openFolderAttachSource(folder, failure);
    return openUdevAttachSource(failure);
}

std::optional<UsbIds> parseUsbProductProperty(const char* text)
{
    if (!text)
        return std::nullopt;
    const QList<QByteArray> parts = QByteArray(text).split('/');
    if (parts.size() != 3 || !parseHex(parts.at(2)))
        return std::nullopt;
    const std::optional<quint16> vendor = parseHex(parts.at(0));
    const std::optional<quint16> product = parseHex(parts.at(1));
    if (!vendor || !product)
        return std::nullopt;
    return UsbIds{*vendor, *product};
}

std::optional<UsbIds> parseHidSocketName(const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    const std::optional<zarvo::platform::hid_identity> identity =
        zarvo::platform::parse_seam_name(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (!identity)
        return std::nullopt;
    return UsbIds{identity->vendor_id, identity->product_id};
}

} // namespace ConnectLib
