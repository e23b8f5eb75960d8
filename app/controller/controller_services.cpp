// The controller's services: versions log, proxy, language, first use and
// the configuration change.
#include "app/controller/connect_client_main.h"

#include "app/logging/app_log.h"
#include "app/platform/systemhooks.h"
#include "app/tray/tray_icon.h"
#include "connectlib/common/common.h"
#include "connectlib/versions/versions.h"

#include <QFileInfo>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QStringList>
#include <QUrl>

using ConnectGlobals::logLine;
using ConnectLib::Common;

namespace {

QString setting(const char* key)
{
    return Common::getSettingsValue(QLatin1String(key));
}

void storeSetting(const char* key, const QString& value)
{
    Common::setSettingsValue(QLatin1String(key), value);
}

enum class ProxyMode { None, System, Manual };

// Anything but 0 and 2, an empty or non-numeric value included, means the
// system's proxy.
ProxyMode proxyMode()
{
    bool ok = false;
    const int type = setting("proxytype").toInt(&ok, 10);
    if (ok && type == 0)
        return ProxyMode::None;
    if (ok && type == 2)
        return ProxyMode::Manual;
    return ProxyMode::System;
}

// The translation file for a language code: the code, then the code with
// its last "_" part dropped, and so on; at each step a file below the
// working directory before the built-in one. Empty when none exists.
QString findTranslationFile(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('_'));
    parts.last().remove(QStringLiteral(".json"));
    for (int count = parts.size(); count > 0; --count) {
        const QString candidate =
            parts.mid(0, count).join(QLatin1Char('_')) + QStringLiteral(".json");
        if (QFileInfo(candidate).isFile())
            return candidate;
        const QString builtIn = QStringLiteral(":/") + candidate;
        if (QFileInfo(builtIn).isFile())
            return builtIn;
    }
    return QString();
}

} // namespace

void ConnectClientMain::logVersions()
{
    logLine(QStringLiteral("Application version: ") + programVersion);
    storeSetting("ktversion", programVersion);
    logLine(QStringLiteral("Build: Distribution"));
    const QString library = ConnectLib::Versions::libzarvo2();
    logLine(library.isEmpty() ? QStringLiteral("Libzarvo2: information not available.")
                              : QStringLiteral("Libzarvo2 version: ") + library);
}

void ConnectClientMain::applyProxySettings()
{
    QNetworkProxy proxy;
    switch (proxyMode()) {
    case ProxyMode::None:
        logLine(QStringLiteral("Set no proxy."));
        proxy.setType(QNetworkProxy::NoProxy);
        break;
    case ProxyMode::Manual:
        logLine(QStringLiteral("Set manual proxy"));
        proxy.setCapabilities(QNetworkProxy::TunnelingCapability |
                              QNetworkProxy::CachingCapability |
                              QNetworkProxy::HostNameLookupCapability);
        proxy.setHostName(setting("proxyname"));
        // A port that is no number, or out of range, is 0.
        proxy.setPort(setting("proxyport").toUShort(nullptr, 10));
        proxy.setType(QNetworkProxy::HttpProxy);
        proxy.setUser(setting("proxyusername"));
        proxy.setPassword(setting("proxypassword"));
        break;
    case ProxyMode::System: {
        logLine(QStringLiteral("Set auto proxy"));
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        const QList<QNetworkProxy> answer =
            SystemHooks::systemProxies(QNetworkProxyQuery(QUrl(setting("contenturl"))));
        if (answer.isEmpty())
            logLine(QStringLiteral("Could not set application proxy."));
        else
            proxy = answer.first();
        break;
    }
    }

    // The settings page shows what is in force, the system's choice too.
    storeSetting("proxyname", proxy.hostName());
    storeSetting("proxyport", proxy.hostName().isEmpty() && proxy.port() == 0
                                  ? QString()
                                  : QString::number(proxy.port()));
    QNetworkProxy::setApplicationProxy(proxy);
    logLine(QStringLiteral("Set application proxy: ") + proxy.hostName() +
            QStringLiteral(" and port: ") + QString::number(proxy.port()));
}

void ConnectClientMain::initLanguage()
{
    QString code = setting("language");
    if (code.isEmpty())
        code = SystemHooks::systemLocaleName();
    if (code == QLatin1String("zh-Hans"))
        code = QStringLiteral("zh_CN");
    if (code.isEmpty())
        code = QStringLiteral("en");
    if (code == QLatin1String("nb_NO") || code == QLatin1String("nb"))
        code = QStringLiteral("no");
    logLine(QStringLiteral("Lang code: ") + code);

    const QString pattern = QStringLiteral("resources/tr/translations_%0.json");
    const QString path = pattern.arg(code);
    QString file = findTranslationFile(path);
    if (file.isEmpty()) {
        logLine(QStringLiteral("Language file not found: ") + path + QStringLiteral(", code: ") +
                code + QStringLiteral(" using language en"));
        file = QStringLiteral(":/") + pattern.arg(QStringLiteral("en"));
    }

    // The code the file found stands for is kept, so the choice made at the
    // first run holds even when the system's locale changes.
    QString storedCode = file.mid(file.indexOf(QLatin1Char('_')) + 1);
    storedCode.remove(QStringLiteral(".json"));
    storeSetting("language", storedCode);
    logLine(QStringLiteral("Language file found: ") + file + QStringLiteral(", code: ") +
            storedCode);

    m_i18n = Common::parseJSONFile(file);
    if (setting("app_name").isEmpty() && m_i18n.contains(QStringLiteral("app_name")))
        storeSetting("app_name", Common::getText(m_i18n, QStringLiteral("app_name")));
}

void ConnectClientMain::checkFirstTimeUse()
{
    // Until the first sync completes every start counts as the first, so the
    // autostart entry is written again each time.
    if (setting("secondtimeuse") != QLatin1String("1")) {
        Common::setApplicationAutostart(setting("app_name"), true);
        logLine(QStringLiteral("*** First time use detected ***"));
        if (m_windows.isEmpty())
            SLOT_synchronize();
    } else {
        logLine(QStringLiteral("*** Second time use detected ***"));
    }
}

void ConnectClientMain::SLOT_configChangedFromOutside()
{
    applyProxySettings();
    initLanguage();
    if (m_trayIcon)
        m_trayIcon->SLOT_setTexts(m_i18n);
}
