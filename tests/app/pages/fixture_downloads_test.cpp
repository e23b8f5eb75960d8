// The download paths of the content server's phase fixtures in a sync through
// the page shell: a firmware archive named by "fwupdate.json" reaches the
// device update from where it was stored, a map streams into the offline
// store before it is written to the device, and a mandatory program update
// in the version file ends with the installer for the controller.
#include "app/bridge/jsobject.h"
#include "app/common/offline_paths.h"
#include "connectlib/common/common.h"
#include "tests/app/support/fake_web.h"
#include "tests/app/support/stub_synchroniser.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/support/process_events.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QWebFrame>
#include <QWebPage>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace RavoSync::Test {
namespace {

using ConnectLib::Common;
using ConnectLib::Test::readBytes;

const QString hexDeviceId = QStringLiteral("0000ABCD");
const QString fixtureFolder = QStringLiteral("/contentserver/sync/zarvotovri/1.2.3/");

QJsonObject jsonRule(const QString& path, const QJsonObject& body)
{
    return QJsonObject{
        {QStringLiteral("method"), QStringLiteral("GET")},
        {QStringLiteral("path"), path},
        {QStringLiteral("headers"),
         QJsonObject{{QStringLiteral("Content-Type"), QStringLiteral("application/json")}}},
        {QStringLiteral("body"),
         QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}};
}

QJsonObject cdnRule(const QString& path, const QByteArray& body)
{
    return QJsonObject{{QStringLiteral("host"), QStringLiteral("cdn.ravo.test")},
                       {QStringLiteral("path"), path},
                       {QStringLiteral("bodyBase64"), QString::fromLatin1(body.toBase64())}};
}

// The sync logic of the fixture device names only phase.
QJsonObject onlyPhase(const QString& phase)
{
    return jsonRule(fixtureFolder + QStringLiteral("synclogic.json"),
                    QJsonObject{{QStringLiteral("files"), QJsonArray{phase}}});
}

class FixtureDownloads : public ::testing::Test {
protected:
    void SetUp() override
    {
        Common::setSettingsValue(QStringLiteral("openwebaftersync"), QStringLiteral("false"));
        m_web = std::make_unique<FakeWeb>(FakeWeb::Trust::TestCa, QList<FakeWeb::Mount>{},
                                          QStringList{FakeWeb::syncFixturesDir()});
        ASSERT_TRUE(m_web->started());
        m_bridge = std::make_unique<JsObject>(nullptr);
        m_stub = std::make_unique<StubSynchroniser>(m_bridge.get());
        ASSERT_TRUE(m_stub->wiredAll());
        const std::map<QString, QString> variables = {
            {QStringLiteral("tcdeviceid"), hexDeviceId},
            {QStringLiteral("tcstatus"), QStringLiteral("OK")},
            {QStringLiteral("currentuserdir"), QStringLiteral("U/0")},
            {QStringLiteral("tcmodel"), QStringLiteral("zarvotovri")},
            {QStringLiteral("tcfullmodel"), QStringLiteral("Zarvo Tovri")},
            {QStringLiteral("tcfirmware"), QStringLiteral("1.2.3")},
            {QStringLiteral("username"), FakeWeb::defaultUser},
            {QStringLiteral("password"), FakeWeb::defaultPassword},
        };
        for (const auto& [key, value] : variables)
            m_bridge->SLOT_saveVariable(key, value);
        StubSynchroniser::DeviceAnswers device;
        device.freeSpace = 16 * 1024 * 1024;
        m_stub->playDevice(StubSynchroniser::When::Later, device);

        // The synchroniser's side of a stored firmware archive: written
        // whole below the working folder, its path kept for the page.
        m_stub->answer(QStringLiteral("writeFWFileToAbsolutePath"), StubSynchroniser::When::Later,
                       [](JsObject* bridge, const QVariantList& arguments) {
                           const QString path = arguments.value(0).toString();
                           QSaveFile file(path);
                           const QByteArray data = arguments.value(1).toByteArray();
                           const bool written =
                               Common::isInsideDirectory(Common::getTempFilesDataPath(), path) &&
                               file.open(QIODevice::WriteOnly) && file.write(data) == data.size() &&
                               file.commit();
                           if (written)
                               bridge->SLOT_saveVariable(QStringLiteral("fwupdfilezippath"), path);
                           bridge->SLOT_writeToLocalDone(
                               written ? ConnectLib::OK : ConnectLib::FILE_OPERATION_FAILED);
                       });
        // And of a write of the stored map to the device: the provider reads
        // the source file whole from the offline store.
        m_stub->answer(
            QStringLiteral("writeOfflineToTCFile"), StubSynchroniser::When::Later,
            [this](JsObject* bridge, const QVariantList&) {
                bool ok = false;
                const quint64 id =
                    bridge->SLOT_getVariable(QStringLiteral("tcdeviceid")).toULongLong(&ok, 16);
                m_mapSource = ConnectGlobals::offlineStorePath(
                    id, bridge->SLOT_getVariable(QStringLiteral("storagefilename")));
                m_mapOnDevice = readBytes(m_mapSource);
                bridge->SLOT_writeToLocalDone(
                    m_mapOnDevice.isEmpty() ? ConnectLib::FILE_OPERATION_FAILED : ConnectLib::OK);
            });
    }

    void TearDown() override
    {
        m_stub.reset();
        m_bridge.reset();
        m_web.reset();
    }

    void run(QJsonArray routes)
    {
        for (const QJsonValue& rule : FakeWeb::webServiceRoutes())
            routes.append(rule);
        m_web->setRoutes(routes);
        m_bridge->SLOT_startByLoading(QStringLiteral("ui/index.html"));
    }

    bool waitForCall(const QString& name, int timeoutMs = 60000)
    {
        return ConnectLib::Test::processUntil([&] { return !calls(name).isEmpty(); }, timeoutMs);
    }
    QList<QVariantList> calls(const QString& name) const
    {
        QList<QVariantList> found;
        for (const StubSynchroniser::Call& call : m_stub->calls()) {
            if (call.name == name)
                found.append(call.arguments);
        }
        return found;
    }
    QVariant js(const QString& expression) const
    {
        return evalJs(m_bridge->webView()->page()->mainFrame(), expression);
    }

    std::unique_ptr<FakeWeb> m_web;
    std::unique_ptr<JsObject> m_bridge;
    std::unique_ptr<StubSynchroniser> m_stub;
    QString m_mapSource;
    QByteArray m_mapOnDevice;
};

TEST_F(FixtureDownloads, AFirmwareNamedByTheLookupIsUpdatedFromWhereItWasStored)
{
    const QByteArray archive = FakeWeb::deterministicBody(200000) + QByteArray("PK\x05\x06", 4);
    run({onlyPhase(QStringLiteral("fwupdate")),
         jsonRule(fixtureFolder + QStringLiteral("fwupdate.json"),
                  QJsonObject{{QStringLiteral("url"),
                               QStringLiteral("https://cdn.ravo.test/fw/ZARVO_2_0_0.ZIP")}}),
         cdnRule(QStringLiteral("/fw/ZARVO_2_0_0.ZIP"), archive)});

    ASSERT_TRUE(waitForCall(QStringLiteral("updateFirmware")));
    const QString stored = Common::getFWUpdateDataPath() + QStringLiteral("/ZARVO_2_0_0.ZIP");
    EXPECT_EQ(calls(QStringLiteral("updateFirmware")).first(), (QVariantList{stored, true}));
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("fwupdfilezippath")), stored);
    EXPECT_EQ(readBytes(stored), archive);
    EXPECT_EQ(calls(QStringLiteral("stopSync")).size(), 0) << "the device restarts first";

    // The device comes back updated: the phase ends and so does the run.
    m_bridge->SLOT_continueWithDevice(hexDeviceId, ConnectLib::OK);
    ASSERT_TRUE(waitForCall(QStringLiteral("stopSync")));
    EXPECT_EQ(calls(QStringLiteral("stopSync")).first(), QVariantList{true});
}

TEST_F(FixtureDownloads, AMapStreamsIntoTheStoreAndIsWrittenToTheDeviceFromThere)
{
    const int mapSize = 3 * 1024 * 1024 + 17;
    run({onlyPhase(QStringLiteral("maps")),
         jsonRule(fixtureFolder + QStringLiteral("maps.json"),
                  QJsonObject{{QStringLiteral("url"),
                               QStringLiteral("https://cdn.ravo.test/maps/europe.map")},
                              {QStringLiteral("file"), QStringLiteral("/MAPS/EUROPE.MAP")}}),
         QJsonObject{{QStringLiteral("host"), QStringLiteral("cdn.ravo.test")},
                     {QStringLiteral("path"), QStringLiteral("/maps/europe.map")},
                     {QStringLiteral("bodySize"), mapSize}}});

    // The run ends after the device write was answered.
    ASSERT_TRUE(waitForCall(QStringLiteral("stopSync")));
    const QStringList asked = m_stub->callNames().filter(
        QRegularExpression(QStringLiteral("^(getFreeSpace|writeOfflineToTCFile)$")));
    EXPECT_EQ(asked, (QStringList{QStringLiteral("getFreeSpace"),
                                  QStringLiteral("writeOfflineToTCFile")}));
    EXPECT_EQ(calls(QStringLiteral("writeOfflineToTCFile")).first().value(0).toString(),
              QStringLiteral("/MAPS/EUROPE.MAP"));
    EXPECT_TRUE(m_mapSource.endsWith(QStringLiteral("/abcd/europe.map")))
        << m_mapSource.toStdString();
    EXPECT_EQ(m_mapOnDevice.size(), mapSize);
    EXPECT_EQ(m_mapOnDevice, FakeWeb::deterministicBody(mapSize));
    EXPECT_EQ(calls(QStringLiteral("stopSync")).first(), QVariantList{true});
    EXPECT_TRUE(js(QStringLiteral("$('#pageInstrText').text()"))
                    .toString()
                    .contains(js(QStringLiteral("smain.i18n.progress_info_maps")).toString()));
}

TEST_F(FixtureDownloads, AMandatoryProgramUpdateEndsWithTheInstaller)
{
    const QByteArray library = FakeWeb::deterministicBody(40000);
    const QByteArray installer = FakeWeb::deterministicBody(90001);
    run({jsonRule(QStringLiteral("/contentserver/ver/rs_ver.json"),
                  QJsonObject{
                      {QStringLiteral("url"), QStringLiteral("https://cdn.ravo.test/")},
                      {QStringLiteral("version"), QStringLiteral("9.0.0.0")},
                      {QStringLiteral("update"),
                       QJsonObject{
                           {QStringLiteral("mandatory"), true},
                           {QStringLiteral("path"), QStringLiteral("rs/9.0.0")},
                           {QStringLiteral("installer"), QStringLiteral("RavoSyncSetup.zip")},
                           {QStringLiteral("libs"), QJsonArray{QStringLiteral("libktlib.so")}}}}}),
         cdnRule(QStringLiteral("/rs/9.0.0/libktlib.so"), library),
         cdnRule(QStringLiteral("/rs/9.0.0/RavoSyncSetup.zip"), installer)});

    ASSERT_TRUE(waitForCall(QStringLiteral("ravoSyncInstallerDownloadDone")));
    const QString folder = Common::getSelfUpdateDataPath();
    EXPECT_EQ(calls(QStringLiteral("ravoSyncInstallerDownloadDone")).first(),
              (QVariantList{folder + QStringLiteral("/RavoSyncSetup.zip"),
                            QStringLiteral("https://cdn.ravo.test/rs/9.0.0")}));
    EXPECT_EQ(readBytes(folder + QStringLiteral("/libktlib.so")), library);
    EXPECT_EQ(readBytes(folder + QStringLiteral("/RavoSyncSetup.zip")), installer);
    // The update comes before any sync.
    EXPECT_TRUE(calls(QStringLiteral("startSync")).isEmpty());
}

} // namespace
} // namespace RavoSync::Test
