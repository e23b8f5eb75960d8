#pragma once

#include "connectlib/export.h"
#include "connectlib/types/cp_state_flags.h"

#include <QMetaType>
#include <QString>

namespace ConnectLib {

// What the library knows about one attached device ("training computer").
// Two records are equal when their device ids are; nothing else counts.
class KTLIB_EXPORT TCData {
public:
    // Id of the local pseudo-device that stands for a folder on disk.
    static constexpr quint64 localDeviceId = 0xFFFFFFFEu;

    // The empty record: id 0, no texts, link invalid, state TC_NOT_FOUND.
    TCData();
    TCData(quint64 deviceId, QString name, QString model, bool linkValid, QString type,
           QString bootloader, QString platform, QString firmware, QString color, QString design,
           CPStateFlag state);
    TCData(const TCData& other);
    TCData& operator=(const TCData& other);
    ~TCData();

    quint64 deviceId() const { return m_deviceId; }
    QString name() const { return m_name; }
    QString model() const { return m_model; }
    bool isLinkValid() const { return m_linkValid; }
    QString type() const { return m_type; }
    QString bootloader() const { return m_bootloader; }
    QString platform() const { return m_platform; }
    QString firmware() const { return m_firmware; }
    QString color() const { return m_color; }
    QString design() const { return m_design; }
    CPStateFlag tcState() const { return m_state; }

    void setLinkValid(bool linkValid) { m_linkValid = linkValid; }

    bool isLocalDevice() const { return m_deviceId == localDeviceId; }
    // Upper-case hex, zero-padded to at least 8 digits, no prefix.
    QString deviceIdAsHexString() const;

    bool operator==(const TCData& other) const { return m_deviceId == other.m_deviceId; }

private:
    quint64 m_deviceId;
    QString m_name;
    QString m_model;
    bool m_linkValid;
    QString m_type;
    QString m_bootloader;
    QString m_platform;
    QString m_firmware;
    QString m_color;
    QString m_design;
    CPStateFlag m_state;
};

} // namespace ConnectLib

Q_DECLARE_METATYPE(ConnectLib::TCData)
