#include "app/windows/page_addresses.h"

#include "connectlib/common/common.h"

namespace ConnectLayout::PageAddresses {

namespace {
// Touched only on the user interface thread.
QString contentAddress;
QString remoteAddress;
} // namespace

void fillWhenEmpty()
{
    if (contentAddress.isEmpty())
        contentAddress = ConnectLib::Common::getSettingsValue(QStringLiteral("contenturl"));
    if (remoteAddress.isEmpty())
        remoteAddress = ConnectLib::Common::getSettingsValue(QStringLiteral("remoteurl"));
}

QString content()
{
    return contentAddress;
}

QString remote()
{
    return remoteAddress;
}

} // namespace ConnectLayout::PageAddresses
