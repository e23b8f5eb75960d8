#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/settings/host_config.h"
#include "connectlib/settings/settings_file_mode.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QStringList>

#include <mutex>

// Q_INIT_RESOURCE must be used outside any namespace. The shared library
// registers its resources at load; the static flavour needs this call.
static void registerKtlibResources()
{
    Q_INIT_RESOURCE(ktlib);
}

namespace ConnectLib {

namespace {

const QString builtInConfig = QStringLiteral(":/resources/config.xml");
const QString hostFileName = QStringLiteral("hosts.conf");

bool isHostKey(const QString& key)
{
    static const QStringList hostKeys = {
        QStringLiteral("contenturl"),    QStringLiteral("remoteurl"),     QStringLiteral("ravourl"),
        QStringLiteral("ravologinname"), QStringLiteral("ravologinpass"),
    };
    return hostKeys.contains(key);
}

// The built-in defaults and the host table. Loaded once; the first settings
// call may come from a device-library thread as well as from the UI thread.
struct Configuration {
    std::once_flag loaded;
    std::mutex mutex; // guards doc and hosts: QDom is not safe for shared reads
    QDomDocument doc;
    QMap<QString, QString> hosts;
};

Configuration& configuration()
{
    static Configuration config;
    return config;
}

void ensureResources()
{
    static const bool registered = (registerKtlibResources(), true);
    Q_UNUSED(registered);
}

void ensureLoaded()
{
    Configuration& config = configuration();
    std::call_once(config.loaded, [&config] {
        QDomDocument doc;
        Common::initRunConfig(doc, builtInConfig);
        {
            std::lock_guard<std::mutex> lock(config.mutex);
            config.doc = doc;
        }
        Common::initHostConfig();
    });
}

// The settings store is the default QSettings of the application identity;
// fill it in when the program has not set all of it.
void ensureIdentity()
{
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    if (QCoreApplication::organizationName().isEmpty() ||
        QCoreApplication::organizationDomain().isEmpty() ||
        QCoreApplication::applicationName().isEmpty()) {
        QCoreApplication::setOrganizationName(QStringLiteral("Zarvo"));
        QCoreApplication::setOrganizationDomain(QStringLiteral("zarvo.test"));
        QCoreApplication::setApplicationName(QStringLiteral("ZarvoRavoSync"));
    }
}

QString defaultValue(const QString& key)
{
    Configuration& config = configuration();
    std::lock_guard<std::mutex> lock(config.mutex);
    return Common::getNodeValue(config.doc, key);
}

// The key as the settings store files it: it drops leading, trailing and
// doubled "/".
QString storedKey(const QString& key)
{
    return key.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

void collectReadOnlyNames(const QDomDocument& doc, const QDomElement& parent, QStringList& names)
{
    for (QDomElement element = parent.firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        if (element.attribute(QStringLiteral("type")) == QLatin1String("readonly") &&
            !Common::getNode(doc, element.tagName()).isNull())
            names.append(element.tagName().toLower());
        collectReadOnlyNames(doc, element, names);
    }
}

// A read-only key stays read-only however a caller spells it: checked as the
// store files it, part by part, in any letters (the native store elsewhere
// ignores case).
bool isReadOnly(const QString& key)
{
    Configuration& config = configuration();
    std::lock_guard<std::mutex> lock(config.mutex);
    QStringList readOnly;
    collectReadOnlyNames(config.doc, config.doc.documentElement(), readOnly);
    const QStringList parts = storedKey(key).toLower().split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (readOnly.contains(part))
            return true;
    }
    return false;
}

// A store that cannot be written would count every start as a first use
// without a word: each kind of failure is logged once, until a write works
// again.
void reportWrite(const QSettings& settings, const QString& key)
{
    static std::mutex mutex;
    static QSettings::Status reported = QSettings::NoError;
    const QSettings::Status status = settings.status();
    std::lock_guard<std::mutex> lock(mutex);
    if (status == reported)
        return;
    reported = status;
    if (status == QSettings::NoError)
        return;
    const QString reason = status == QSettings::AccessError
                               ? QStringLiteral("the file cannot be written")
                               : QStringLiteral("the file is not in settings format");
    Logger::instance()->logPrint(appendLogPrefix(QStringLiteral("Settings not saved (") + key +
                                                 QStringLiteral(") in ") + settings.fileName() +
                                                 QStringLiteral(": ") + reason));
}

QString applicationDirPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

} // namespace

QString Common::getSettingsValue(const QString& key)
{
    ensureLoaded();
    if (key.isEmpty())
        return QString();
    if (isHostKey(key)) {
        Configuration& config = configuration();
        std::lock_guard<std::mutex> lock(config.mutex);
        return config.hosts.value(key);
    }
    ensureIdentity();
    const QString value = QSettings().value(key).toString();
    return value.isEmpty() ? defaultValue(key) : value;
}

void Common::setSettingsValue(const QString& key, const QString& value)
{
    ensureLoaded();
    if (storedKey(key).isEmpty())
        return;
    ensureIdentity();
    if (isReadOnly(key)) {
        Logger::instance()->logPrint(
            appendLogPrefix(QStringLiteral("Could not save sensitive information: ") + key));
        return;
    }
    // The store holds the proxy password: its file is the owner's alone
    // before the first value reaches it, and stays so after QSettings has
    // replaced it on writing.
    QSettings settings;
    keepSettingsFileOwnerOnly(settings.fileName());
    settings.setValue(key, value);
    settings.sync();
    reportWrite(settings, key);
    keepSettingsFileOwnerOnly(settings.fileName());
}

bool Common::initRunConfig(QDomDocument& doc, QString file)
{
    ensureResources();
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(input.readAll());
    input.close();

    QString message;
    int line = 0;
    int column = 0;
    if (!doc.setContent(text, false, &message, &line, &column)) {
        qWarning().nospace().noquote() << "Error while parsing the config.xml, line:" << line
                                       << ", col:" << column << ", message: " << message;
        qDebug().noquote() << text;
        // The parser may leave what it read before the error; a broken file
        // must not supply half of its values.
        doc.clear();
        return false;
    }
    return true;
}

bool Common::initHostConfig()
{
    ensureResources();
    const QString local = applicationDirPath() + QLatin1Char('/') + hostFileName;
    const QString file =
        QFile::exists(local) ? local : QStringLiteral(":/resources/") + hostFileName;

    // A file beside the program that cannot be read leaves the table empty:
    // it replaces the built-in copy even then.
    QString text;
    QFile input(file);
    if (input.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(input.readAll());
    const QMap<QString, QString> hosts = parseHostConfig(text);

    Configuration& config = configuration();
    std::lock_guard<std::mutex> lock(config.mutex);
    config.hosts = hosts;
    return !config.hosts.isEmpty();
}

QDomElement Common::getNode(const QDomDocument& doc, QString tag)
{
    const QDomNodeList nodes = doc.elementsByTagName(tag);
    return nodes.size() == 1 ? nodes.at(0).toElement() : QDomElement();
}

QString Common::getNodeValue(const QDomDocument& doc, QString tag)
{
    return getNode(doc, tag).text();
}

} // namespace ConnectLib
