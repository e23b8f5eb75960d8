#include "app/sync_state/sync_state.h"
#include "connectlib/common/common.h"
#include "tests/support/param_name.h"

#include <QMetaEnum>
#include <QMetaType>
#include <gtest/gtest.h>

#include <vector>

namespace {

using ConnectGlobals::SyncState;

struct Enumerator {
    const char* name;
    int value;
};

// The pages build syncStates and dialogTypes from these names and numbers.
void expectEnumerators(const char* enumName, const std::vector<Enumerator>& expected)
{
    const QMetaObject& meta = SyncState::staticMetaObject;
    const int index = meta.indexOfEnumerator(enumName);
    ASSERT_GE(index, 0) << enumName;
    const QMetaEnum metaEnum = meta.enumerator(index);
    ASSERT_EQ(metaEnum.keyCount(), int(expected.size())) << enumName;
    for (int i = 0; i < metaEnum.keyCount(); ++i) {
        EXPECT_STREQ(metaEnum.key(i), expected[i].name) << enumName;
        EXPECT_EQ(metaEnum.value(i), expected[i].value) << expected[i].name;
    }
}

TEST(SyncState, SyncProcessStateNamesAndValues)
{
    expectEnumerators("SyncProcessState", {{"Idle", 0},
                                           {"Loading", 1},
                                           {"TCFound", 2},
                                           {"TCIdling", 3},
                                           {"SyncOn", 4},
                                           {"SyncDone", 5},
                                           {"SyncError", 6},
                                           {"SyncInfo", 7},
                                           {"FwUpdateOnGoing", 8},
                                           {"FwUpdateDone", 9},
                                           {"FwUpdateError", 10},
                                           {"SystemBusy", 11},
                                           {"TCBusy", 12},
                                           {"WaitForIdling", 13}});
}

TEST(SyncState, OtherEnumerationsNamesAndValues)
{
    expectEnumerators("DialogType", {{"PromptDialog", 0}, {"QuickHelpDialog", 1}});
    expectEnumerators("DialogState",
                      {{"OfflineDialog", 0}, {"DeviceListDialog", 1}, {"SyncDialog", 2}});
    expectEnumerators("ConnectionState", {{"DorvaneRemoved", 0}, {"DorvaneConnected", 1}});
}

TEST(SyncState, RegisteringTwiceGivesTheSameIdUnderTheFullName)
{
    const int first = SyncState::registerSyncProcessState();
    const int second = SyncState::registerSyncProcessState();
    EXPECT_NE(first, int(QMetaType::UnknownType));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, QMetaType::type("ConnectGlobals::SyncState::SyncProcessState"));
}

struct StoredCase {
    const char* stored; // nullptr: nothing written
    quint64 deviceId;
    int expected;
};

void PrintTo(const StoredCase& c, std::ostream* os)
{
    *os << c.deviceId << " \"" << (c.stored ? c.stored : "(nothing)") << '"';
}

class StoredSyncState : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredSyncState, ReadsTheNumberBeforeTheFirstSemicolon)
{
    const StoredCase c = GetParam();
    if (c.stored)
        ConnectLib::Common::setSettingsValue(QString::number(c.deviceId),
                                             QString::fromLatin1(c.stored));
    EXPECT_EQ(ConnectGlobals::storedSyncState(c.deviceId), c.expected);
}

// Each row its own device id: the settings store is the process's.
INSTANTIATE_TEST_SUITE_P(Table, StoredSyncState,
                         ::testing::Values(StoredCase{nullptr, 3001, 0}, StoredCase{"", 3002, 0},
                                           StoredCase{"12;2024-05-01T10:00:00Z", 3003, 12},
                                           StoredCase{"x;2024-05-01T10:00:00Z", 3004, 0},
                                           StoredCase{"4", 3005, 4},
                                           StoredCase{";2024-05-01T10:00:00Z", 3006, 0},
                                           StoredCase{"4x;2024-05-01T10:00:00Z", 3007, 0},
                                           StoredCase{"12;2024-05-01T10:00:00Z", 0, 0}),
                         zarvo::test::printed_name{"device"});

} // namespace
