#include "connectlib/types/tc_data.h"

#include <utility>

namespace ConnectLib {

TCData::TCData()
    : m_deviceId(0)
    , m_linkValid(false)
    , m_state(TC_NOT_FOUND)
{
}

TCData::TCData(quint64 deviceId, QString name, QString model, bool linkValid, QString type,
               QString bootloader, QString platform, QString firmware, QString color,
               QString design, CPStateFlag state)
    : m_deviceId(deviceId)
    , m_name(std::move(name))
    , m_model(std::move(model))
    , m_linkValid(linkValid)
    , m_type(std::move(type))
    , m_bootloader(std::move(bootloader))
    , m_platform(std::move(platform))
    , m_firmware(std::move(firmware))
    , m_color(std::move(color))
    , m_design(std::move(design))
    , m_state(state)
{
}

TCData::TCData(const TCData& other) = default;
TCData& TCData::operator=(const TCData& other) = default;
TCData::~TCData() = default;

QString TCData::deviceIdAsHexString() const
{
    return QStringLiteral("%1").arg(m_deviceId, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace ConnectLib
