// Application services for the pages: settings, start at login, system
// facts, the browser, the clipboard, the log file, secrets and local files.
#include "app/bridge/jsobject.h"

#include "app/common/offline_paths.h"
#include "app/logging/app_log.h"
#include "app/platform/systemhooks.h"
#include "connectlib/common/common.h"
#include "connectlib/logging/logger.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSysInfo>
#include <QUrl>

using ConnectGlobals::logLine;
using ConnectLib::Common;

namespace {

// Longest secret a page may ask for.
constexpr int maxSecretLength = 1024;

// text as a script string literal that no content can leave.
QString scriptStringLiteral(const QString& text)
{
    QString out = QStringLiteral("'");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\'':
            out += QLatin1String("\\'");
            break;
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '<':
            out += QLatin1String("\\x3c");
            break;
        case '>':
            out += QLatin1String("\\x3e");
            break;
        case 0x2028:
            out += QLatin1String("\\u2028");
            break;
        case 0x2029:
            out += QLatin1String("\\u2029");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('\'');
}

} // namespace

void JsObject::SLOT_saveAppSetting(QString key, QString value)
{
    Common::setSettingsValue(key, value);
}

QString JsObject::SLOT_loadAppSetting(QString key)
{
    return Common::getSettingsValue(key);
}

void JsObject::SLOT_initConfigs()
{
    emit m_requests->SIGNAL_initConfigs();
}

void JsObject::SLOT_reinitConfigurations()
{
    initVariables();
    SLOT_evaluateJS(
        QStringLiteral("App.Common.loadTranslationFile(this, %0, App.syncMain.url_translations, "
                       "settingsTrLoad);")
            .arg(scriptStringLiteral(Common::getSettingsValue(QStringLiteral("language")))));
}

void JsObject::SLOT_setApplicationToStartAtLogin(bool enable)
{
    Common::setApplicationAutostart(Common::getSettingsValue(QStringLiteral("app_name")), enable);
}

QString JsObject::SLOT_getOSVersion()
{
    return QStringLiteral("linux") + QSysInfo::kernelVersion().section(QLatin1Char('.'), 0, 0);
}

QString JsObject::SLOT_getOSname()
{
    return QStringLiteral("linux");
}

bool JsObject::SLOT_openExternalLink(QString url)
{
    const QUrl address = QUrl::fromUserInput(url);
    const QString scheme = address.scheme().toLower();
    // Other schemes reach local files and custom handlers.
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
        scheme != QLatin1String("mailto")) {
        logLine(QStringLiteral("External link refused: ") + url);
        return false;
    }
    return SystemHooks::openUrl(address);
}

void JsObject::SLOT_copyToClipboard(QString text)
{
    QGuiApplication::clipboard()->setText(text);
}

QString JsObject::SLOT_getLogFilePath()
{
    return ConnectLib::Logger::instance()->getCurrentFile();
}

QString JsObject::SLOT_getSecret(int len)
{
    const int length = qBound(0, len, maxSecretLength);
    if (length != len)
        logLine(QStringLiteral("Secret length ") + QString::number(len) +
                QStringLiteral(" clamped to ") + QString::number(length));
    const QString secret = Common::generateSecret(length);
    SLOT_saveVariable(QStringLiteral("appsecret"), secret);
    return secret;
}

bool JsObject::SLOT_hasOfflineFile(QString fileName)
{
    // Only names inside the program's folder.
    const QString path = ConnectGlobals::offlineReadPath(fileName);
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool JsObject::SLOT_deleteFwUpdFiles()
{
    return Common::deleteFWUpdateFiles();
}
