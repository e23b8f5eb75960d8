#include "connectlib/common/common.h"
#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/temp_dir.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <thread>
#include <vector>

using ConnectLib::Common;
using namespace ConnectLib::Test;

namespace {

struct KeyValue {
    const char* key;
    const char* value;
};

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zarvo"),
                     QStringLiteral("ZarvoRavoSync"));
}

// Runs before any call into ktlib: loading the library registers them.
TEST(BuiltInFiles, HostsConfHasTheFiveLinesWithCrLf)
{
    QFile file(QStringLiteral(":/resources/hosts.conf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("contenturl=https://content.ravo.test/contentserver\r\n"
                                         "remoteurl=https://content.ravo.test/v2\r\n"
                                         "ravourl=https://www.ravo.test\r\n"
                                         "ravologinname=\r\n"
                                         "ravologinpass=\r\n"));
}

void collectElements(const QDomElement& parent, QStringList& names, QStringList& readOnly)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        names << e.tagName();
        if (e.hasAttribute(QStringLiteral("type")))
            readOnly << e.tagName() + QLatin1Char('=') + e.attribute(QStringLiteral("type"));
        collectElements(e, names, readOnly);
    }
}

TEST(BuiltInFiles, ConfigXmlListsTheKeysInOrder)
{
    QFile file(QStringLiteral(":/resources/config.xml"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(&file));
    EXPECT_EQ(doc.documentElement().tagName(), QStringLiteral("config"));

    QStringList names;
    QStringList readOnly;
    collectElements(doc.documentElement(), names, readOnly);
    EXPECT_EQ(names, QStringList({"ktversion",        "auth",
                                  "username",         "password",
                                  "testmasterid",     "mapdata_url",
                                  "localdatadir",     "fwupdateimageurl",
                                  "loginwithapp",     "savereadwritefiles",
                                  "delaynew",         "language",
                                  "openwebaftersync", "startwithos",
                                  "startonrun",       "closeaftersync",
                                  "proxyname",        "proxyport",
                                  "proxytype",        "proxyusername",
                                  "proxypassword",    "nwreqtimer",
                                  "apploginname",     "apploginapikey",
                                  "offlinefiledir"}));
    EXPECT_EQ(readOnly, QStringList({"loginwithapp=readonly", "savereadwritefiles=readonly",
                                     "apploginname=readonly", "apploginapikey=readonly",
                                     "offlinefiledir=readonly"}));
    EXPECT_EQ(doc.documentElement().firstChildElement(QStringLiteral("auth")).childNodes().size(),
              2);
}

TEST(Settings, EmptyStoreReadsTheBuiltInDefaults)
{
    const std::vector<KeyValue> rows = {
        {"ktversion", "0.0.0.1"},
        {"delaynew", "2000"},
        {"proxytype", "1"},
        {"closeaftersync", "false"},
        {"openwebaftersync", "true"},
        {"nwreqtimer", "60"},
        {"loginwithapp", "false"},
        {"savereadwritefiles", "true"},
        {"localdatadir", "C:/temp/ravosynctest"},
        {"mapdata_url", "http://maps.ravo.test/maps/test.map"},
        {"apploginapikey", "BrindleHarpLockKey"},
        {"apploginname", "Zarvo Connect"},
        {"offlinefiledir", "resources"},
        {"username", ""},
        {"language", ""},
        {"auth", ""},
        {"Delaynew", ""},
        {"no_such_key", ""},
        {"", ""},
    };
    for (const KeyValue& row : rows)
        EXPECT_EQ(Common::getSettingsValue(s(row.key)), s(row.value)) << row.key;
}

TEST(Settings, BuiltInHostTable)
{
    const std::vector<KeyValue> rows = {
        {"contenturl", "https://content.ravo.test/contentserver"},
        {"remoteurl", "https://content.ravo.test/v2"},
        {"ravourl", "https://www.ravo.test"},
        {"ravologinname", ""},
        {"ravologinpass", ""},
    };
    for (const KeyValue& row : rows)
        EXPECT_EQ(Common::getSettingsValue(s(row.key)), s(row.value)) << row.key;
    EXPECT_TRUE(Common::initHostConfig());
}

TEST(Settings, StoredValuesAndEmptyTextAsUnset)
{
    struct Row {
        const char* key;
        const char* stored;
        const char* read;
    };
    const std::vector<Row> rows = {
        {"language", "", ""},
        {"delaynew", "", "2000"},
        {"openwebaftersync", "false", "false"},
        {"proxytype", "2", "2"},
        {"testmasterid", "-1", "-1"},
        {"lastsync", "3;2026-03-14T10:00:00Z", "3;2026-03-14T10:00:00Z"},
    };
    for (const Row& row : rows) {
        Common::setSettingsValue(s(row.key), s(row.stored));
        EXPECT_EQ(Common::getSettingsValue(s(row.key)), s(row.read)) << row.key;
    }
    // Written through to the user's settings file at once.
    EXPECT_TRUE(QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") +
                              QStringLiteral("/Zarvo/ZarvoRavoSync.conf")));
    EXPECT_EQ(store().value(QStringLiteral("openwebaftersync")).toString(),
              QStringLiteral("false"));
}

// The store holds the proxy password: its file is the owner's alone, whether
// the write makes it or finds it readable by others, whatever the umask.
TEST(Settings, FileIsOwnerOnlyAfterEveryWrite)
{
    struct Row {
        const char* label;
        bool existing;       // a file is there before the write
        mode_t existingMode; // its mode then
    };
    const std::vector<Row> rows = {
        {"fresh store", false, 0},
        {"store readable by others", true, 0644},
        {"store writable by the group", true, 0664},
    };
    const QString file =
        qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Zarvo/ZarvoRavoSync.conf");
    const mode_t oldMask = ::umask(022);
    for (const Row& row : rows) {
        QFile::remove(file);
        if (row.existing) {
            QDir().mkpath(QFileInfo(file).absolutePath());
            ASSERT_TRUE(writeFile(file, "[General]\nproxyname=old.test\n")) << row.label;
            ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), row.existingMode), 0);
        }
        Common::setSettingsValue(QStringLiteral("proxypassword"), QStringLiteral("secret"));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0) << row.label;
        EXPECT_EQ(st.st_mode & 07777, mode_t(0600)) << row.label;
        EXPECT_EQ(store().value(QStringLiteral("proxypassword")).toString(),
                  QStringLiteral("secret"))
            << row.label;

        if (row.existing) {
            EXPECT_EQ(store().value(QStringLiteral("proxyname")).toString(),
                      QStringLiteral("old.test"))
                << row.label;
        }

        // A second write replaces the file again and keeps the mode.
        Common::setSettingsValue(QStringLiteral("proxyusername"), QStringLiteral("someone"));
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0) << row.label;
        EXPECT_EQ(st.st_mode & 07777, mode_t(0600)) << row.label;
        EXPECT_EQ(store().value(QStringLiteral("proxyusername")).toString(),
                  QStringLiteral("someone"))
            << row.label;
    }
    ::umask(oldMask);
}

// A settings file that cannot be written stores nothing: that is said in
// the log, once, naming the key, and said again after a write succeeded.
TEST(Settings, AWriteThatFailsIsLoggedOncePerKind)
{
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Zarvo");
    ASSERT_TRUE(Common::deleteLocalDirectory(folder));
    // A file where the folder goes stops even root from writing.
    ASSERT_TRUE(writeFile(folder, "not a folder"));
    QStringList logged;
    QObject::connect(ConnectLib::Logger::instance(), &ConnectLib::Logger::SIGNAL_logPrint,
                     [&](const QString& line) { logged << line; });
    Common::setSettingsValue(QStringLiteral("proxyname"), QStringLiteral("a.test"));
    Common::setSettingsValue(QStringLiteral("proxyport"), QStringLiteral("8080"));
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].endsWith(QStringLiteral("] Settings not saved (proxyname) in ") + folder +
                                   QStringLiteral("/ZarvoRavoSync.conf: the file cannot be "
                                                  "written")))
        << logged[0].toStdString();

    ASSERT_TRUE(QFile::remove(folder));
    Common::setSettingsValue(QStringLiteral("proxyname"), QStringLiteral("a.test"));
    EXPECT_EQ(logged.size(), 1);
    ASSERT_TRUE(Common::deleteLocalDirectory(folder));
    ASSERT_TRUE(writeFile(folder, "not a folder"));
    Common::setSettingsValue(QStringLiteral("proxyport"), QStringLiteral("8080"));
    EXPECT_EQ(logged.size(), 2);
}

TEST(Settings, ReadOnlyKeysAreNeverWritten)
{
    const QStringList keys = {
        QStringLiteral("loginwithapp"),   QStringLiteral("savereadwritefiles"),
        QStringLiteral("apploginname"),   QStringLiteral("apploginapikey"),
        QStringLiteral("offlinefiledir"),
    };
    QStringList logged;
    QObject::connect(ConnectLib::Logger::instance(), &ConnectLib::Logger::SIGNAL_logPrint,
                     [&](const QString& line) { logged << line; });

    for (const QString& key : keys) {
        const QString before = Common::getSettingsValue(key);
        Common::setSettingsValue(key, QStringLiteral("changed"));
        EXPECT_EQ(Common::getSettingsValue(key), before) << key.toStdString();
        EXPECT_FALSE(store().contains(key)) << key.toStdString();
    }
    ASSERT_EQ(logged.size(), keys.size());
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_TRUE(logged[i].endsWith(QStringLiteral("] Could not save sensitive information: ") +
                                       keys[i]))
            << logged[i].toStdString();
}

TEST(Settings, EmptyKeyStoresNothing)
{
    Common::setSettingsValue(QString(), QStringLiteral("x"));
    EXPECT_TRUE(store().allKeys().isEmpty());
    EXPECT_EQ(Common::getSettingsValue(QString()), QString());
}

TEST(Settings, HostKeysAreServedOnlyFromTheHostTable)
{
    Common::setSettingsValue(QStringLiteral("contenturl"), QStringLiteral("https://elsewhere"));
    EXPECT_EQ(store().value(QStringLiteral("contenturl")).toString(),
              QStringLiteral("https://elsewhere"));
    EXPECT_EQ(Common::getSettingsValue(QStringLiteral("contenturl")),
              QStringLiteral("https://content.ravo.test/contentserver"));
}

TEST(Settings, IdentityIsFilledInOnlyWhenIncomplete)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Acme"));
    QCoreApplication::setOrganizationDomain(QString());
    QCoreApplication::setApplicationName(QStringLiteral("Tool"));
    Common::setSettingsValue(QStringLiteral("proxyname"), QStringLiteral("proxy.test"));
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Zarvo"));
    EXPECT_EQ(QCoreApplication::organizationDomain(), QStringLiteral("zarvo.test"));
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("ZarvoRavoSync"));
    EXPECT_EQ(store().value(QStringLiteral("proxyname")).toString(), QStringLiteral("proxy.test"));

    // A complete identity set by the program is kept, and so is its store.
    QCoreApplication::setOrganizationName(QStringLiteral("Acme"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("acme.test"));
    QCoreApplication::setApplicationName(QStringLiteral("Tool"));
    Common::setSettingsValue(QStringLiteral("proxyport"), QStringLiteral("8080"));
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Acme"));
    EXPECT_EQ(QSettings().value(QStringLiteral("proxyport")).toString(), QStringLiteral("8080"));
    EXPECT_FALSE(store().contains(QStringLiteral("proxyport")));
}

TEST(Settings, ConcurrentFirstCallsAllSeeTheLoadedConfiguration)
{
    constexpr int threadCount = 8;
    std::atomic<int> ready{0};
    std::vector<QString> delays(threadCount);
    std::vector<QString> contents(threadCount);
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < threadCount) {
            }
            delays[i] = Common::getSettingsValue(QStringLiteral("delaynew"));
            contents[i] = Common::getSettingsValue(QStringLiteral("contenturl"));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < threadCount; ++i) {
        EXPECT_EQ(delays[i], QStringLiteral("2000")) << i;
        EXPECT_EQ(contents[i], QStringLiteral("https://content.ravo.test/contentserver")) << i;
    }
}

TEST(RunConfig, BrokenXmlIsReportedAndLeavesNoValues)
{
    zarvo::test::temp_dir dir;
    const QString file = QString::fromStdString((dir / "broken.xml").string());
    ASSERT_TRUE(writeFile(file, "<config>\n<delaynew>5</config>\n"));
    QDomDocument doc;
    MessageCapture messages;

    EXPECT_FALSE(Common::initRunConfig(doc, file));
    EXPECT_TRUE(messages.contains(QtWarningMsg,
                                  QStringLiteral("Error while parsing the config.xml, line:")));
    EXPECT_TRUE(messages.contains(QtWarningMsg, QStringLiteral(", message: ")));
    EXPECT_EQ(Common::getNodeValue(doc, QStringLiteral("delaynew")), QString());
    EXPECT_EQ(Common::getNodeValue(doc, QStringLiteral("config")), QString());
}

TEST(RunConfig, MissingFileLeavesTheDocumentAsItWas)
{
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(QStringLiteral("<config><a>1</a></config>")));
    EXPECT_FALSE(Common::initRunConfig(doc, QStringLiteral("/nonexistent/config.xml")));
    EXPECT_EQ(Common::getNodeValue(doc, QStringLiteral("a")), QStringLiteral("1"));
}

TEST(RunConfig, NodesAreFoundOnlyWhenUnique)
{
    zarvo::test::temp_dir dir;
    const QString file = QString::fromStdString((dir / "config.xml").string());
    ASSERT_TRUE(writeFile(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<config><auth><username>m\xc3\xa4ri</username></auth>"
                                "<twice>1</twice><twice>2</twice>"
                                "<locked type=\"readonly\">x</locked></config>"));
    QDomDocument doc;
    ASSERT_TRUE(Common::initRunConfig(doc, file));

    const std::vector<KeyValue> rows = {
        {"username", "m\xc3\xa4ri"}, {"twice", ""}, {"missing", ""}, {"locked", "x"}};
    for (const KeyValue& row : rows)
        EXPECT_EQ(Common::getNodeValue(doc, s(row.key)), s(row.value)) << row.key;
    EXPECT_TRUE(Common::getNode(doc, QStringLiteral("twice")).isNull());
    EXPECT_EQ(Common::getNode(doc, QStringLiteral("locked")).attribute(QStringLiteral("type")),
              QStringLiteral("readonly"));
}

} // namespace
