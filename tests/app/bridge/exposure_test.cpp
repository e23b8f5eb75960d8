// Which documents see "JSObject", the page variables, the result protocol,
// re-initialising the variables and the disconnect slots.
#include "tests/app/bridge/bridge_fixture.h"

#include "connectlib/common/common.h"
#include "tests/support/param_name.h"

#include <QMetaMethod>
#include <QSettings>

#include <vector>

namespace {

using ConnectLib::CPStateFlags;
using RavoSync::Test::BridgeTest;
using RavoSync::Test::waitForJs;

class BridgeExposure : public BridgeTest {};

TEST_F(BridgeExposure, TrustedPagesSeeTheObjectAndEarlierVariables)
{
    loadStubPage();
    js(QStringLiteral("JSObject.SLOT_saveVariable('carried', 'over');"));

    // A document of the content server's origin.
    m_bridge->webView()->setHtml(
        QStringLiteral("<p id=\"online\">online</p>"),
        QUrl(ConnectLib::Common::getSettingsValue(QStringLiteral("contenturl")) +
             QStringLiteral("/ui/")));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("document.getElementById('online') !== null")));
    EXPECT_EQ(js(QStringLiteral("typeof JSObject")).toString(), QStringLiteral("object"));
    EXPECT_EQ(js(QStringLiteral("JSObject.SLOT_getVariable('carried')")).toString(),
              QStringLiteral("over"));
}

TEST_F(BridgeExposure, ADocumentWithoutAddressGetsNoObject)
{
    loadStubPage();
    m_bridge->webView()->setHtml(QStringLiteral("<p id=\"blank\">blank</p>"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("document.getElementById('blank') !== null")));
    EXPECT_EQ(js(QStringLiteral("typeof JSObject")).toString(), QStringLiteral("undefined"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("JSObject not offered to an untrusted page: ")));
}

TEST_F(BridgeExposure, UnsetAndEmptyVariablesReadEmpty)
{
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("never")), QString());
    m_bridge->SLOT_saveVariable(QStringLiteral("blank"), QString());
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("blank")), QString());
}

// What each stored show-error-dialog text makes of the next result.
struct StoredCase {
    const char* stored;
    bool expected;
};

class StoredShowErrorDialog : public BridgeTest,
                              public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredShowErrorDialog, ReachesThePageAsABoolean)
{
    loadStubPage();
    m_bridge->storeShowErrorDialog(QString::fromLatin1(GetParam().stored));
    EXPECT_TRUE(m_bridge->isLocalReplyOk(CPStateFlags(ConnectLib::OK)));
    EXPECT_EQ(js(QStringLiteral("Stub.localReplies.length")).toInt(), 1);
    EXPECT_EQ(js(QStringLiteral("Stub.localReplies[0][1] === %1")
                     .arg(GetParam().expected ? QStringLiteral("true") : QStringLiteral("false")))
                  .toBool(),
              true);
}

INSTANTIATE_TEST_SUITE_P(Table, StoredShowErrorDialog,
                         ::testing::Values(StoredCase{"false", false}, StoredCase{"true", true},
                                           StoredCase{"", true}, StoredCase{"1", true},
                                           StoredCase{"yes", true},
                                           StoredCase{"false);alert(1", true}),
                         [](const auto& info) {
                             return zarvo::test::param_name(std::string("stored_") +
                                                            info.param.stored);
                         });

class ResultProtocol : public BridgeTest {};

TEST_F(ResultProtocol, OkWithNothingStoredIsJudgedWithTrue)
{
    loadStubPage();
    EXPECT_TRUE(m_bridge->isLocalReplyOk(CPStateFlags(ConnectLib::OK)));
    EXPECT_TRUE(js(QStringLiteral("Stub.localReplies[0][0] === 'OK' && "
                                  "Stub.localReplies[0][1] === true"))
                    .toBool());
}

TEST_F(ResultProtocol, TheLatestRequestJudgesOneResultThenTrueAgain)
{
    loadStubPage();
    m_bridge->storeShowErrorDialog(QStringLiteral("false"));
    m_bridge->storeShowErrorDialog(QStringLiteral("true"));
    m_bridge->isLocalReplyOk(CPStateFlags(ConnectLib::OK));
    m_bridge->storeShowErrorDialog(QStringLiteral("false"));
    m_bridge->isLocalReplyOk(CPStateFlags(ConnectLib::OK));
    m_bridge->isLocalReplyOk(CPStateFlags(ConnectLib::OK));
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.localReplies.map(function (r) { return r[1]; "
                                "}))"))
                  .toString(),
              QStringLiteral("[true,false,true]"));
}

TEST_F(ResultProtocol, ThePageVerdictDecides)
{
    loadStubPage();
    js(QStringLiteral("Stub.verdict = false;"));
    EXPECT_FALSE(m_bridge->isLocalReplyOk(CPStateFlags(ConnectLib::OK)));
    js(QStringLiteral("Stub.verdict = true;"));
    EXPECT_TRUE(m_bridge->isLocalReplyOk(CPStateFlags(ConnectLib::OK)));
}

TEST_F(ResultProtocol, WithoutAViewEveryResultFails)
{
    loadStubPage();
    delete m_bridge->webView();
    EXPECT_EQ(m_bridge->webView(), nullptr);
    const QVariant value = m_bridge->SLOT_evaluateJS(QStringLiteral("true"));
    EXPECT_TRUE(value.isValid());
    EXPECT_FALSE(value.toBool());
    EXPECT_FALSE(m_bridge->isLocalReplyOk(CPStateFlags(ConnectLib::OK)));
}

TEST_F(BridgeExposure, ReinitialisingReplacesTheLoginKeyOnly)
{
    const QString before = m_bridge->SLOT_getVariable(QStringLiteral("login_api_encoded_key"));
    const QString langs = m_bridge->SLOT_getVariable(QStringLiteral("avllangcodes"));
    m_bridge->SLOT_saveVariable(QStringLiteral("pageowned"), QStringLiteral("kept"));
    // Read-only for setSettingsValue: written as an edited settings file
    // would be (the bridge's construction settled the settings' identity).
    QSettings().setValue(QStringLiteral("apploginapikey"), QStringLiteral("edited-key"));
    m_bridge->SLOT_reinitConfigurations();
    QSettings().remove(QStringLiteral("apploginapikey"));
    const QString after = m_bridge->SLOT_getVariable(QStringLiteral("login_api_encoded_key"));
    EXPECT_NE(after, before);
    EXPECT_TRUE(QByteArray::fromBase64(after.toLatin1()).endsWith(":edited-key"));
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("avllangcodes")), langs);
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("pageowned")), QStringLiteral("kept"));
}

// Emits the bridge's signal of that name with default arguments, as the
// result slots will.
void emitByName(QObject* object, const QByteArray& name)
{
    const QMetaObject* meta = object->metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() != QMetaMethod::Signal || method.name() != name)
            continue;
        std::vector<void*> values;
        QGenericArgument args[10];
        for (int p = 0; p < method.parameterCount(); ++p) {
            values.push_back(QMetaType::create(method.parameterType(p)));
            args[p] = QGenericArgument(QMetaType::typeName(method.parameterType(p)), values.back());
        }
        method.invoke(object, Qt::DirectConnection, args[0], args[1], args[2], args[3], args[4],
                      args[5], args[6], args[7], args[8], args[9]);
        for (int p = 0; p < method.parameterCount(); ++p)
            QMetaType::destroy(method.parameterType(p), values[size_t(p)]);
        return;
    }
    ADD_FAILURE() << "no signal " << name.constData();
}

struct DisconnectCase {
    const char* slot;
    const char* signal;
};

void PrintTo(const DisconnectCase& c, std::ostream* os)
{
    *os << c.slot << '/' << c.signal;
}

class DisconnectSlots : public BridgeTest, public ::testing::WithParamInterface<DisconnectCase> {};

TEST_P(DisconnectSlots, PageHandlersAreNoLongerCalled)
{
    loadStubPage();
    const QString signal = QString::fromLatin1(GetParam().signal);
    js(QStringLiteral("Stub.listen('%1');").arg(signal));
    emitByName(m_bridge.get(), GetParam().signal);
    ASSERT_EQ(js(QStringLiteral("Stub.calls['%1'].length").arg(signal)).toInt(), 1);
    js(QStringLiteral("JSObject.%1();").arg(QString::fromLatin1(GetParam().slot)));
    emitByName(m_bridge.get(), GetParam().signal);
    EXPECT_EQ(js(QStringLiteral("Stub.calls['%1'].length").arg(signal)).toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DisconnectSlots,
    ::testing::Values(
        DisconnectCase{"SLOT_disconnectReadSignals", "SIGNAL_challengeTokenReceived"},
        DisconnectCase{"SLOT_disconnectReadSignals", "SIGNAL_fileRead"},
        DisconnectCase{"SLOT_disconnectReadSignals", "SIGNAL_fail"},
        DisconnectCase{"SLOT_disconnectWriteSignals", "SIGNAL_fileWritten"},
        DisconnectCase{"SLOT_disconnectWriteSignals", "SIGNAL_fail"},
        DisconnectCase{"SLOT_disconnectMergeSignals", "SIGNAL_fileMerged"},
        DisconnectCase{"SLOT_disconnectMergeSignals", "SIGNAL_fail"},
        DisconnectCase{"SLOT_disconnectFWUpdateSignals", "SIGNAL_fwUpdateDone"},
        DisconnectCase{"SLOT_disconnectFWUpdateSignals", "SIGNAL_fail"},
        DisconnectCase{"SLOT_disconnectFWUpdateSignals", "SIGNAL_firmwareDataCopied"},
        DisconnectCase{"SLOT_disconnectFWUpdateSignals", "SIGNAL_backupDone"},
        DisconnectCase{"SLOT_disconnectFWUpdateSignals", "SIGNAL_backupRevertDone"},
        DisconnectCase{"SLOT_disconnectFWUpdateSignals", "SIGNAL_continueWithDevice"},
        DisconnectCase{"SLOT_disconnectTimesetSignals", "SIGNAL_tcTimesSet"},
        DisconnectCase{"SLOT_disconnectTimesetSignals", "SIGNAL_tcTimesGet"},
        DisconnectCase{"SLOT_disconnectTimesetSignals", "SIGNAL_fail"},
        DisconnectCase{"SLOT_disconnectDirSignals", "SIGNAL_dirCreated"},
        DisconnectCase{"SLOT_disconnectDirSignals", "SIGNAL_fail"},
        DisconnectCase{"SLOT_disconnectDirSignals", "SIGNAL_returnFreeSpace"},
        DisconnectCase{"SLOT_disconnectDirSignals", "SIGNAL_cleanupDone"},
        DisconnectCase{"SLOT_disconnectEntriesSignal", "SIGNAL_entriesReceived"},
        DisconnectCase{"SLOT_disconnectEntriesSignal", "SIGNAL_fail"},
        DisconnectCase{"SLOT_disconnectBatterySignals", "SIGNAL_batteryStatusReceived"},
        DisconnectCase{"SLOT_disconnectGetSubdirsSignals", "SIGNAL_returnSubdirs"},
        DisconnectCase{"SLOT_disconnectGetDailyEntriesSignals", "SIGNAL_returnDailyEntries"},
        DisconnectCase{"SLOT_disconnectRemoveSignals", "SIGNAL_entriesRemoved"},
        DisconnectCase{"SLOT_disconnectRemoveSignals", "SIGNAL_fail"}),
    zarvo::test::printed_name());

} // namespace
