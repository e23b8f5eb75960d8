#include "connectlib/usb_attach_source.h"

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

bool isLowerHex(const QString& text)
{
    for (const QChar ch : text) {
        if (!((ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) ||
              (ch >= QLatin1Char('a') && ch <= QLatin1Char('f'))))
            return false;
    }
    return true;
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
    static const QString suffix = QStringLiteral(".hid");
    constexpr int serialStart = 10;
    const int serialLength = name.size() - serialStart - suffix.size();
    if (serialLength < 1 || serialLength > 126 || !name.endsWith(suffix) ||
        name.at(4) != QLatin1Char('-') || name.at(9) != QLatin1Char('-'))
        return std::nullopt;
    const QString vendor = name.left(4);
    const QString product = name.mid(5, 4);
    if (!isLowerHex(vendor) || !isLowerHex(product))
        return std::nullopt;
    return UsbIds{quint16(vendor.toUInt(nullptr, 16)), quint16(product.toUInt(nullptr, 16))};
}

} // namespace ConnectLib
