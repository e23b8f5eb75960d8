// The whole online run: the bridge loads the main page from the fake content
// server, which also serves the sync fixtures and plays the web service; a
// played device goes from the version check through the login, the clock and
// the sync logic's phases to the summary, and every file it served arrives
// at the web service unchanged.
#include "app/animation/kantrel_movie.h"
#include "app/bridge/jsobject.h"
#include "app/sync_state/sync_state.h"
#include "app/windows/web_view.h"
#include "connectlib/common/common.h"
#include "tests/app/support/fake_web.h"
#include "tests/app/support/stub_synchroniser.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/process_events.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace RavoSync::Test {
namespace {

using ConnectGlobals::SyncState;
using ConnectLib::Common;

const QString deviceId = QStringLiteral("4001");
const QString userDir = QStringLiteral("U/0");
const QString fixtures = FakeWeb::syncFixturesDir();

// The sync logic's phases in its order, and for the data phases the device
// file each uploads, its resource below the user's address and its summary
// text.
struct DataPhase {
    const char* name;
    const char* file;
    const char* resource;
    const char* summaryKey;
};

const DataPhase dataPhases[] = {
    {"user_settings", "S/UDEVSET.BPB", "user-settings", "progress_info_user"},
    {"exercises", "E/SAMPLES.BPB", "exercises", "progress_info_exercises"},
    {"activities", "DSUM/DSUM.BPB", "activities", "progress_info_activities"},
    {"sensors", "S/SENSORS.BPB", "sensors", "progress_info_sensors"},
    {"sport_profiles", "SPROF/PROFILES.BPB", "sport-profiles", "progress_info_sportprofiles"},
    {"training_targets", "TL/TARGETS.BPB", "training-targets", "progress_info_programs"},
    {"routes", "ROUTES/ROUTES.BPB", "routes", "progress_info_routes"},
    {"totals", "TOTALS/TOTALS.BPB", "totals", "progress_info_trainingload"},
    {"sports", "SPORTS/SPORTS.BPB", "sports", "progress_info_sports"},
    {"tests", "TESTS/TESTS.BPB", "tests", "progress_info_tests"},
    {"histories", "HIST/EVENTS.BPB", "histories", "progress_info_events"},
    {"physical_info", "S/PHYSDATA.BPB", "physical-info", "progress_info_physical_info"},
};

// A device file of its own for every path: every byte value, a length of
// its own, so a mixed-up or re-encoded upload shows.
QByteArray deviceFile(const QString& path)
{
    const QByteArray seed = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256);
    QByteArray data;
    const int size = 300 + (uchar(seed[0]) << 4);
    data.reserve(size);
    for (int i = 0; i < size; ++i)
        data.append(char(uchar(seed[i % seed.size()]) ^ uchar(i)));
    return data;
}

QString sha256(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

QJsonObject germanTexts()
{
    QFile file(QStringLiteral(":/resources/tr/translations_de.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = file.readAll();
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.mid(3);
    return QJsonDocument::fromJson(text).object();
}

class OnlineRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        Common::setSettingsValue(QStringLiteral("language"), QStringLiteral("de"));
        Common::setSettingsValue(QStringLiteral("secondtimeuse"), QStringLiteral("0"));
        Common::setSettingsValue(QStringLiteral("openwebaftersync"), QStringLiteral("false"));
        m_web = std::make_unique<FakeWeb>(FakeWeb::Trust::TestCa, QList<FakeWeb::Mount>{},
                                          QStringList{fixtures});
        ASSERT_TRUE(m_web->started());
        m_web->setRoutes(FakeWeb::webServiceRoutes());
        m_bridge = std::make_unique<JsObject>(nullptr);
        m_stub = std::make_unique<StubSynchroniser>(m_bridge.get());
        ASSERT_TRUE(m_stub->wiredAll());

        // What the synchroniser publishes for an attached, idle device, and
        // the credentials stored from an earlier login.
        const std::map<QString, QString> variables = {
            {QStringLiteral("tcdeviceid"), deviceId},
            {QStringLiteral("tcstatus"), QStringLiteral("OK")},
            {QStringLiteral("currentuserdir"), userDir},
            {QStringLiteral("tcmodel"), QStringLiteral("zarvotovri")},
            {QStringLiteral("tcfullmodel"), QStringLiteral("Zarvo Tovri")},
            {QStringLiteral("tcfirmware"), QStringLiteral("1.2.3")},
            {QStringLiteral("username"), FakeWeb::defaultUser},
            {QStringLiteral("password"), FakeWeb::defaultPassword},
        };
        for (const auto& [key, value] : variables)
            m_bridge->SLOT_saveVariable(key, value);

        m_stub->playDevice(StubSynchroniser::When::Later, {});
        // Each device file its own contents, noted as served.
        m_stub->answer(QStringLiteral("readFromFile"), StubSynchroniser::When::Later,
                       [this](JsObject* bridge, const QVariantList& arguments) {
                           const QString path = arguments.value(0).toString();
                           const QByteArray data = deviceFile(path);
                           m_served[path] = data;
                           bridge->SLOT_readFromLocalDone(ConnectLib::OK,
                                                          QString::fromLatin1(data.toBase64()));
                       });
    }

    void TearDown() override
    {
        m_stub.reset();
        m_bridge.reset();
        m_web.reset();
    }

    QWebFrame* frame() const { return m_bridge->webView()->page()->mainFrame(); }
    QVariant js(const QString& expression) const { return evalJs(frame(), expression); }

    bool animating() const
    {
        auto* movie = m_bridge->webView()->findChild<KantrelMovie*>();
        return movie && movie->timer() && movie->timer()->isActive();
    }

    // The index of the first logged request that matches, or -1.
    int requestIndex(const std::function<bool(const FakeRequest&)>& match) const
    {
        const QList<FakeRequest> requests = m_web->requests();
        for (int i = 0; i < requests.size(); ++i) {
            if (match(requests[i]))
                return i;
        }
        return -1;
    }

    std::unique_ptr<FakeWeb> m_web;
    std::unique_ptr<JsObject> m_bridge;
    std::unique_ptr<StubSynchroniser> m_stub;
    std::map<QString, QByteArray> m_served;
};

TEST_F(OnlineRun, ADeviceSyncsFromTheVersionCheckToTheSummary)
{
    m_bridge->SLOT_startByLoading(QStringLiteral("ui/index.html"));
    ASSERT_TRUE(animating());
    ASSERT_TRUE(m_web->waitForRequest([](const FakeRequest& r) {
        return r.host == QLatin1String("content.ravo.test") &&
               r.path == QLatin1String("/contentserver/ui/index.html");
    }));
    ASSERT_TRUE(waitForJs(frame(),
                          QStringLiteral("typeof smain !== 'undefined' && smain !== null "
                                         "&& $('#pageSettings #settingsPanel').length "
                                         "=== 1"),
                          30000));
    // The page took over from the waiting animation.
    EXPECT_FALSE(animating());
    for (QLabel* label : m_bridge->webView()->findChildren<QLabel*>())
        EXPECT_TRUE(label->isHidden());

    ASSERT_TRUE(ConnectLib::Test::processUntil(
        [&] { return m_stub->callNames().contains(QStringLiteral("stopSync")); }, 60000));
    ASSERT_TRUE(ConnectLib::Test::processUntil(
        [&] {
            return js(QStringLiteral("$('#pageInstrText ul.summarylist li').length")).toInt() ==
                   int(std::size(dataPhases));
        },
        10000));

    // The program: started, on, done, stopped with success.
    QList<int> states;
    QStringList control;
    QVariantList times;
    for (const StubSynchroniser::Call& call : m_stub->calls()) {
        if (call.name == QLatin1String("syncProcessStateChanged"))
            states.append(call.arguments.value(1).toInt());
        if (call.name == QLatin1String("startSync") || call.name == QLatin1String("stopSync"))
            control.append(call.name + QLatin1Char('(') + call.arguments.value(0).toString() +
                           QLatin1Char(')'));
        if (call.name == QLatin1String("setTCTimes"))
            times = call.arguments;
    }
    EXPECT_EQ(states, (QList<int>{SyncState::SyncOn, SyncState::SyncDone}));
    EXPECT_EQ(control,
              (QStringList{QStringLiteral("startSync()"), QStringLiteral("stopSync(true)")}));
    EXPECT_EQ(Common::getSettingsValue(QStringLiteral("secondtimeuse")), QStringLiteral("1"));

    // The clocks from the fake clock, with the computer's zone.
    const int zone = m_bridge->SLOT_getTimezoneMinutes();
    ASSERT_EQ(times.size(), 4);
    EXPECT_EQ(times[0].toString(), FakeWeb::defaultUtc);
    EXPECT_TRUE(times[1].toBool());
    const QDateTime local =
        QDateTime::fromString(FakeWeb::defaultUtc, Qt::ISODate).toOffsetFromUtc(zone * 60);
    EXPECT_EQ(times[2].toString(),
              local.toString(Qt::ISODate).replace(QLatin1Char('Z'), QStringLiteral("+00:00")));
    EXPECT_EQ(times[3].toInt(), zone);

    // The login's reply kept for the phases.
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("syncUrl")),
              QStringLiteral("https://sync.ravo.test/v2/users/1001"));
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("tcdbdeviceid")), QStringLiteral("2001"));
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("currentmasterid")),
              QStringLiteral("1001"));

    // The translation of the "language" setting, the summary in the sync
    // logic's order.
    const QJsonObject german = germanTexts();
    ASSERT_FALSE(german.isEmpty());
    EXPECT_EQ(js(QStringLiteral("$('#index_header').text()")).toString(),
              german.value(QStringLiteral("progress_synccompleted")).toString());
    EXPECT_EQ(js(QStringLiteral("$('#button_synchronize').text()")).toString(),
              german.value(QStringLiteral("button_synchronize")).toString());
    const QStringList summary =
        js(QStringLiteral("$('#pageInstrText ul.summarylist li').map(function () { return "
                          "$(this).text(); }).get().join('\\n')"))
            .toString()
            .split(QLatin1Char('\n'));
    QStringList expectedSummary;
    for (const DataPhase& phase : dataPhases)
        expectedSummary.append(german.value(QLatin1String(phase.summaryKey)).toString());
    EXPECT_EQ(summary, expectedSummary);

    // The order of the run, as the web service saw it.
    const auto at = [this](const char* method, const QString& pathEnd) {
        return requestIndex([&](const FakeRequest& r) {
            return r.method == QLatin1String(method) && r.path.endsWith(pathEnd);
        });
    };
    const QList<int> order{
        at("GET", QStringLiteral("/ver/rs_ver.json")),
        at("GET", QStringLiteral("/v2/devices/") + deviceId + QStringLiteral("/registration")),
        at("POST", QStringLiteral("/v2/login/user/associateToApp")),
        at("GET", QStringLiteral("/v2/time/") + QString::number(zone)),
        at("GET", QStringLiteral("/contentserver/sync/synclogic.json")),
        at("PUT", QStringLiteral("/users/1001/user-settings")),
    };
    EXPECT_FALSE(order.contains(-1)) << order.size();
    for (int i = 1; i < order.size(); ++i)
        EXPECT_LT(order[i - 1], order[i]) << "step " << i;

    // The device's files read in the sync logic's order after its user file.
    QStringList reads;
    for (const StubSynchroniser::Call& call : m_stub->calls()) {
        if (call.name == QLatin1String("readFromFile"))
            reads.append(call.arguments.value(0).toString());
    }
    QStringList expectedReads{userDir + QStringLiteral("/USERID.BPB")};
    for (const DataPhase& phase : dataPhases)
        expectedReads.append(userDir + QLatin1Char('/') + QLatin1String(phase.file));
    EXPECT_EQ(reads, expectedReads);

    // Every data file at the web service byte for byte, with the
    // application's credentials.
    const QString authorization =
        QStringLiteral("Basic ") +
        m_bridge->SLOT_getVariable(QStringLiteral("login_api_encoded_key"));
    for (const DataPhase& phase : dataPhases) {
        SCOPED_TRACE(phase.name);
        const QString path = QStringLiteral("/v2/users/1001/") + QLatin1String(phase.resource);
        const QByteArray served = m_served[userDir + QLatin1Char('/') + QLatin1String(phase.file)];
        ASSERT_FALSE(served.isEmpty());
        FakeRequest upload;
        ASSERT_TRUE(m_web->waitForRequest(
            [&](const FakeRequest& r) {
                return r.method == QLatin1String("PUT") && r.host == FakeWeb::syncHost &&
                       r.path == path;
            },
            1000, &upload));
        EXPECT_EQ(upload.scheme, QStringLiteral("https"));
        EXPECT_EQ(upload.bodySha256, sha256(served));
        EXPECT_EQ(upload.header(QStringLiteral("content-type")),
                  QStringLiteral("application/x-protobuf"));
        EXPECT_EQ(upload.header(QStringLiteral("authorization")), authorization);
        EXPECT_EQ(m_web->storedBody(FakeWeb::syncHost, path), served);
    }
    // The login went to the web service with the application's credentials.
    FakeRequest login;
    ASSERT_TRUE(m_web->waitForRequest(
        [](const FakeRequest& r) {
            return r.path.endsWith(QLatin1String("/login/user/associateToApp"));
        },
        1000, &login));
    EXPECT_EQ(login.header(QStringLiteral("authorization")), authorization);
    const QJsonObject credentials = QJsonDocument::fromJson(login.body).object();
    EXPECT_EQ(credentials.value(QStringLiteral("username")).toString(), FakeWeb::defaultUser);
    EXPECT_EQ(credentials.value(QStringLiteral("password")).toString(), FakeWeb::defaultPassword);
}

} // namespace
} // namespace RavoSync::Test
