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
#include "tests/app/support/url_handlers.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/process_events.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>
#include <gtest/gtest.h>

#include <algorithm>
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

// A script text literal.
QString literal(const QString& text)
{
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
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

    void start()
    {
        m_bridge->SLOT_startByLoading(QStringLiteral("ui/index.html"));
        ASSERT_TRUE(waitForJs(frame(), QStringLiteral("typeof smain !== 'undefined' && smain "
                                                      "!== null")));
    }

    int count(const QString& name) const { return m_stub->callNames().count(name); }

    // Processes events until the page has stopped the program's sync n times.
    bool waitForStops(int n, int timeoutMs = 60000)
    {
        return ConnectLib::Test::processUntil(
            [&] { return count(QStringLiteral("stopSync")) >= n; }, timeoutMs);
    }

    // One argument of every recorded request of that name, in order.
    QVariantList argumentOf(const QString& name, int index) const
    {
        QVariantList seen;
        for (const StubSynchroniser::Call& call : m_stub->calls()) {
            if (call.name == name)
                seen.append(call.arguments.value(index));
        }
        return seen;
    }

    QList<int> states() const
    {
        QList<int> seen;
        for (const QVariant& state : argumentOf(QStringLiteral("syncProcessStateChanged"), 1))
            seen.append(state.toInt());
        return seen;
    }

    QStringList stops() const
    {
        QStringList seen;
        for (const QVariant& success : argumentOf(QStringLiteral("stopSync"), 0))
            seen.append(success.toString());
        return seen;
    }

    // The user-data uploads the web service received, by path.
    QStringList uploads() const
    {
        QStringList paths;
        for (const FakeRequest& r : m_web->requests()) {
            if (r.method == QLatin1String("PUT") && r.host == FakeWeb::syncHost)
                paths.append(r.path);
        }
        return paths;
    }

    static QStringList allUploads()
    {
        QStringList paths;
        for (const DataPhase& phase : dataPhases)
            paths.append(QStringLiteral("/v2/users/1001/") + QLatin1String(phase.resource));
        return paths;
    }

    QStringList summaryItems() const
    {
        return js(QStringLiteral("$('#pageInstrText ul.summarylist li').map(function () { "
                                 "return $(this).text(); }).get().join('\\n')"))
            .toString()
            .split(QLatin1Char('\n'));
    }

    QString text(const char* key) const { return m_german.value(QLatin1String(key)).toString(); }
    bool loginPanelShown() const
    {
        return js(QStringLiteral("$('#pageLogin').is(':visible') && "
                                 "$('#pageLogin #login_header').length === 1"))
            .toBool();
    }
    void signIn(const QString& user, const QString& password)
    {
        js(QStringLiteral("$('#login_username').val(%1); $('#login_password').val(%2); "
                          "$('#button_signin').trigger('click');")
               .arg(literal(user), literal(password)));
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
    const QJsonObject m_german = germanTexts();
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
    EXPECT_EQ(count(QStringLiteral("startSync")), 1);
    EXPECT_EQ(states(), (QList<int>{SyncState::SyncOn, SyncState::SyncDone}));
    EXPECT_EQ(stops(), QStringList{QStringLiteral("true")});
    ASSERT_EQ(count(QStringLiteral("setTCTimes")), 1);
    const QVariantList times =
        m_stub->calls()[m_stub->callNames().indexOf(QStringLiteral("setTCTimes"))].arguments;
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
              QStringLiteral("https://") + FakeWeb::syncHost + QStringLiteral("/v2/users/1001"));
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
    for (const QVariant& path : argumentOf(QStringLiteral("readFromFile"), 0))
        reads.append(path.toString());
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

TEST_F(OnlineRun, WithoutStoredCredentialsTheLoginFragmentSignsTheUserIn)
{
    m_bridge->SLOT_saveVariable(QStringLiteral("username"), QString());
    m_bridge->SLOT_saveVariable(QStringLiteral("password"), QString());
    start();
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return loginPanelShown(); }, 30000));
    EXPECT_EQ(js(QStringLiteral("$('#login_header').text()")).toString(),
              text("login_header")
                  .replace(QStringLiteral("[WEBSERVICENAME]"),
                           js(QStringLiteral("smain.i18n.WEBSERVICENAME")).toString()));
    EXPECT_EQ(count(QStringLiteral("stopSync")), 0);

    signIn(FakeWeb::defaultUser, FakeWeb::defaultPassword);
    ASSERT_TRUE(waitForStops(1));
    EXPECT_EQ(states(), (QList<int>{SyncState::SyncOn, SyncState::SyncDone}));
    EXPECT_EQ(uploads(), allUploads());
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("username")), FakeWeb::defaultUser);
    // The panel gave the summary back.
    EXPECT_TRUE(waitForJs(frame(), QStringLiteral("!$('#pageLogin').is(':visible')")));
}

TEST_F(OnlineRun, RefusedStoredCredentialsBringTheLoginFragmentWithItsError)
{
    m_bridge->SLOT_saveVariable(QStringLiteral("password"), QStringLiteral("changed"));
    start();
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return loginPanelShown(); }, 30000));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("$('#login_header').text() === %1")
                                       .arg(literal(text("error_loginfailed")))));
    EXPECT_EQ(count(QStringLiteral("stopSync")), 0);
    EXPECT_TRUE(uploads().isEmpty());

    // A second refusal keeps the panel and says so again.
    js(QStringLiteral("$('#login_header').text('');"));
    signIn(FakeWeb::defaultUser, QStringLiteral("wrong"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("$('#login_header').text() === %1")
                                       .arg(literal(text("error_loginfailed")))));
    EXPECT_TRUE(loginPanelShown());
    EXPECT_TRUE(m_web->waitForRequest(
        [](const FakeRequest& r) { return r.body.contains("\"wrong\""); }, 1000));

    signIn(FakeWeb::defaultUser, FakeWeb::defaultPassword);
    ASSERT_TRUE(waitForStops(1));
    EXPECT_EQ(stops(), QStringList{QStringLiteral("true")});
    EXPECT_EQ(states().last(), int(SyncState::SyncDone));
    EXPECT_EQ(uploads(), allUploads());
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("password")), FakeWeb::defaultPassword);
}

TEST_F(OnlineRun, AnUnregisteredDeviceIsClaimedInTheBrowserAndThenSyncs)
{
    Common::setSettingsValue(QStringLiteral("openwebaftersync"), QStringLiteral("true"));
    QJsonArray routes{
        FakeWeb::handlerRule(QStringLiteral("GET"), QStringLiteral("*/devices/*/registration"),
                             QStringLiteral("registration"), {{"registered", QJsonArray{}}}),
        FakeWeb::handlerRule(QStringLiteral("POST"), QStringLiteral("*/login/sso/associateToApp"),
                             QStringLiteral("sso"), {{"pending", QJsonArray{504, 504}}}),
    };
    for (const QJsonValue& rule : FakeWeb::webServiceRoutes())
        routes.append(rule);
    m_web->setRoutes(routes);
    clearRecordedUrls();
    start();
    js(QStringLiteral("App.pageTiming.ssoBackoffMs = 20; App.pageTiming.browserFadeMs = 20;"));
    ASSERT_TRUE(waitForStops(1));
    EXPECT_EQ(states(), (QList<int>{SyncState::SyncOn, SyncState::SyncDone}));
    EXPECT_EQ(uploads(), allUploads());

    // The device's data went to the web service with the token the browser
    // address carries.
    const QJsonObject firstTime =
        QJsonDocument::fromJson(m_web->storedBody(QStringLiteral("content.ravo.test"),
                                                  QStringLiteral("v2/devices/") + deviceId +
                                                      QStringLiteral("/firsttime")))
            .object();
    EXPECT_EQ(firstTime.value(QStringLiteral("deviceId")).toString(), deviceId);
    const QString token = firstTime.value(QStringLiteral("publicToken")).toString();
    EXPECT_FALSE(token.isEmpty());
    const QList<QUrl> opened = recordedUrls();
    ASSERT_EQ(opened.size(), 1) << "the claim only, no diary after a first-time use";
    EXPECT_EQ(opened[0].toString(QUrl::FullyEncoded),
              QStringLiteral("https://www.ravo.test/settings/device/firstTime?token=") + token +
                  QStringLiteral("&deviceid=") + deviceId);

    // Polled until the user had claimed the device, with the token pair.
    int polls = 0;
    for (const FakeRequest& r : m_web->requests()) {
        if (!r.path.endsWith(QLatin1String("/login/sso/associateToApp")))
            continue;
        ++polls;
        const QJsonObject tokens = QJsonDocument::fromJson(r.body).object();
        EXPECT_EQ(tokens.value(QStringLiteral("publicToken")).toString(), token);
        EXPECT_FALSE(tokens.value(QStringLiteral("secretToken")).toString().isEmpty());
    }
    EXPECT_EQ(polls, 3);
}

TEST_F(OnlineRun, AnOptionalFirmwareUpdateIsOfferedOnceAndTheRunEnds)
{
    QJsonArray routes{QJsonObject{{"method", "GET"},
                                  {"path", "/contentserver/sync/zarvotovri/1.2.3/fwupdate.json"},
                                  {"headers", QJsonObject{{"Content-Type", "application/json"}}},
                                  {"body", "{\"optional\": true}"}}};
    for (const QJsonValue& rule : FakeWeb::webServiceRoutes())
        routes.append(rule);
    m_web->setRoutes(routes);
    start();
    ASSERT_TRUE(waitForStops(1));
    EXPECT_EQ(states(), (QList<int>{SyncState::SyncOn, SyncState::SyncDone}));
    EXPECT_EQ(uploads(), allUploads());
    // Moved behind the others (the phone update with it), run there once
    // more, and looked up only once.
    EXPECT_EQ(js(QStringLiteral("smain.syncPhaseObjs.map(function (p) { return p.name; })"
                                ".slice(-3).join()"))
                  .toString(),
              QStringLiteral("physical_info,fwupdate,apkupdate"));
    EXPECT_EQ(
        js(QStringLiteral("smain.syncPhaseObjs[smain.syncPhaseObjs.length - 2].runs")).toInt(), 2);
    int lookups = 0;
    for (const FakeRequest& r : m_web->requests())
        lookups += r.path.endsWith(QLatin1String("/fwupdate.json")) ? 1 : 0;
    EXPECT_EQ(lookups, 1);
    EXPECT_EQ(js(QStringLiteral("smain.fwUpdCheckStatus")).toInt(), 0);
}

TEST_F(OnlineRun, AFileTheDeviceCannotReadFailsItsPhaseOnly)
{
    const QString missing = userDir + QStringLiteral("/S/SENSORS.BPB");
    m_stub->answer(QStringLiteral("readFromFile"), StubSynchroniser::When::Later,
                   [this, missing](JsObject* bridge, const QVariantList& arguments) {
                       const QString path = arguments.value(0).toString();
                       if (path == missing) {
                           bridge->SLOT_readFromLocalDone(ConnectLib::FILE_OPERATION_FAILED |
                                                              ConnectLib::FILE_OR_DIR_NOT_FOUND,
                                                          QString());
                           return;
                       }
                       m_served[path] = deviceFile(path);
                       bridge->SLOT_readFromLocalDone(
                           ConnectLib::OK, QString::fromLatin1(m_served[path].toBase64()));
                   });
    start();
    ASSERT_TRUE(waitForStops(1));
    EXPECT_EQ(states(), (QList<int>{SyncState::SyncOn, SyncState::SyncError}));
    EXPECT_EQ(stops(), QStringList{QStringLiteral("true")});
    QStringList expected = allUploads();
    expected.removeAll(QStringLiteral("/v2/users/1001/sensors"));
    EXPECT_EQ(uploads(), expected);
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("$('#pageInstrText ul.summarylist li').length "
                                                  "=== 12")));
    QStringList expectedSummary;
    for (const DataPhase& phase : dataPhases) {
        expectedSummary.append(text(phase.name == QLatin1String("sensors")
                                        ? "progress_info_sensorsfail"
                                        : phase.summaryKey));
    }
    EXPECT_EQ(summaryItems(), expectedSummary);
    const QString summary = js(QStringLiteral("$('#pageInstrText').text()")).toString();
    EXPECT_TRUE(summary.contains(text("app_menu_state_syncerror")));
    EXPECT_TRUE(summary.contains(text("progress_info_syncproblems")));
}

TEST_F(OnlineRun, ResetSyncRemovesTheBookkeepingAndSyncsEverythingAgain)
{
    start();
    ASSERT_TRUE(waitForStops(1));
    js(QStringLiteral("smain.resetSync();"));
    ASSERT_TRUE(waitForStops(2));
    const QList<StubSynchroniser::Call>& calls = m_stub->calls();
    const auto removal = std::find_if(calls.begin(), calls.end(), [](const auto& call) {
        return call.name == QLatin1String("removeEntries");
    });
    ASSERT_NE(removal, calls.end());
    EXPECT_EQ(removal->arguments.value(0).toStringList(),
              QStringList{userDir + QStringLiteral("/SYNC/SYNCINFO.BPB")});
    EXPECT_EQ(states(), (QList<int>{SyncState::SyncOn, SyncState::SyncDone, SyncState::SyncOn,
                                    SyncState::SyncDone}));
    EXPECT_EQ(uploads(), allUploads() + allUploads());
}

} // namespace
} // namespace RavoSync::Test
