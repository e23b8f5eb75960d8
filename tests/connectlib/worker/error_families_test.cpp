// Device-library errors as result flags and log lines: each family of
// operations as its table says, and the report of every error class.
#include "connectlib/worker/worker_errors.h"
#include "connectlib/worker/worker_frame.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/device_fixture.h"
#include "tests/connectlib/worker/error_cases.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ConnectLib {

namespace {

using Test::errorCase;
using Test::ErrorCase;
using Test::errorCases;
using Test::LogLines;

TEST(ReportException, NamesEveryClassWithItsOwnLine)
{
    TCWorker worker(TCData(), nullptr, nullptr, nullptr, QString());
    LogLines log;
    int reported = 0;
    for (const ErrorCase& c : errorCases) {
        if (!*c.kind)
            continue;
        log.clear();
        try {
            c.raise();
        } catch (const zarvo::exception& e) {
            worker.reportException(&e);
            ++reported;
        }
        EXPECT_EQ(log.errors(), c.reportLines()) << c.name;
        EXPECT_EQ(log.lines().size(), 2) << c.name;
    }
    EXPECT_EQ(reported, 32);
}

struct FamilyRow {
    const char* error;
    CPStateFlags flags;
};

// Runs each row's error through the frame over a real session and checks the
// flags and the lines.
class ErrorFamilies : public Test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        publishFake();
    }

    void expectRows(const CatchFamily& family, std::initializer_list<FamilyRow> rows,
                    CPStateFlags initial = CPStateFlags())
    {
        for (const FamilyRow& row : rows) {
            const ErrorCase& c = errorCase(row.error);
            log.clear();
            CPStateFlags flags = initial;
            runDeviceCall(guard(), family, flags, [&](zarvo::session&) -> CPStateFlags {
                c.raise();
                return OK;
            });
            EXPECT_EQ(flags, row.flags) << row.error;
            EXPECT_EQ(log.errors(), c.reportLines()) << row.error;
        }
    }
};

TEST_F(ErrorFamilies, ClockAndBattery)
{
    expectRows(CatchFamily::clockAndBattery(),
               {
                   {"try_again", TRY_OPERATION_AGAIN},
                   {"wait_for_idling", WAIT_FOR_IDLING},
                   {"device_busy", TC_BUSY},
                   {"system_busy", SYSTEM_BUSY},
                   {"invalid_parameter", INVALID_PARAMETER | INVALID_CONTENT},
                   {"not_implemented", NOT_IMPLEMENTED | GENERAL_ERROR},
                   {"operation_canceled", CANCELLED | GENERAL_ERROR},
                   {"session_expired", TC_CONNECTION_LOST},
                   {"link_lost", TC_CONNECTION_LOST},
                   {"bad_data", GENERAL_ERROR},
                   {"file_exists", GENERAL_ERROR},
                   {"std::runtime_error", GENERAL_ERROR},
               });
}

TEST_F(ErrorFamilies, Timestamp)
{
    expectRows(CatchFamily::timestamp(),
               {
                   {"try_again", TRY_OPERATION_AGAIN | FILE_OPERATION_FAILED},
                   {"wait_for_idling", WAIT_FOR_IDLING | FILE_OPERATION_FAILED},
                   {"device_busy", TC_BUSY | FILE_OPERATION_FAILED},
                   {"system_busy", SYSTEM_BUSY | FILE_OPERATION_FAILED},
                   {"operation_canceled", GET_TIMESTAMP_FAILED | CANCELLED},
                   {"session_expired", GET_TIMESTAMP_FAILED | TC_CONNECTION_LOST},
                   {"link_lost", GET_TIMESTAMP_FAILED | TC_CONNECTION_LOST},
                   {"invalid_parameter", GET_TIMESTAMP_FAILED | GENERAL_ERROR},
                   {"std::runtime_error", GET_TIMESTAMP_FAILED | GENERAL_ERROR},
               });
}

TEST_F(ErrorFamilies, User)
{
    expectRows(CatchFamily::user(),
               {
                   {"try_again", TRY_OPERATION_AGAIN | GET_CURRENT_USER_DATA_FAILED},
                   {"wait_for_idling", WAIT_FOR_IDLING | GET_CURRENT_USER_DATA_FAILED},
                   {"device_busy", TC_BUSY | GET_CURRENT_USER_DATA_FAILED},
                   {"system_busy", SYSTEM_BUSY | GET_CURRENT_USER_DATA_FAILED},
                   {"operation_canceled", GET_CURRENT_USER_DATA_FAILED | CANCELLED},
                   // No link-lost row.
                   {"session_expired", GET_CURRENT_USER_DATA_FAILED | GENERAL_ERROR},
                   {"link_lost", GET_CURRENT_USER_DATA_FAILED | GENERAL_ERROR},
                   {"no_such_user", GET_CURRENT_USER_DATA_FAILED | GENERAL_ERROR},
                   {"std::runtime_error", GET_CURRENT_USER_DATA_FAILED | GENERAL_ERROR},
               });
}

TEST_F(ErrorFamilies, UserWithoutMasterIdKeepsAnOkResult)
{
    const ErrorCase& missing = errorCase("prerequisite_not_met");
    for (const CPStateFlags before : {CPStateFlags(), CPStateFlags(OK)}) {
        log.clear();
        CPStateFlags flags = before;
        runDeviceCall(guard(), CatchFamily::user(), flags, [&](zarvo::session&) -> CPStateFlags {
            missing.raise();
            return OK;
        });
        EXPECT_EQ(flags, before == OK ? CPStateFlags(OK)
                                      : CPStateFlags(GET_CURRENT_USER_DATA_FAILED | CANCELLED));
        EXPECT_EQ(log.lines(), QStringList{"No master ID set. continue..."});
    }
}

TEST_F(ErrorFamilies, Token)
{
    expectRows(CatchFamily::token(),
               {
                   {"try_again", TRY_OPERATION_AGAIN | FILE_OPERATION_FAILED},
                   {"wait_for_idling", WAIT_FOR_IDLING | FILE_OPERATION_FAILED},
                   {"device_busy", TC_BUSY | FILE_OPERATION_FAILED},
                   {"system_busy", SYSTEM_BUSY | FILE_OPERATION_FAILED},
                   {"operation_canceled", GET_CHALLENGE_TOKEN_FAILED | CANCELLED},
                   {"session_expired", GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR},
                   {"prerequisite_not_met", GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR},
                   {"std::runtime_error", GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR},
               });
}

TEST_F(ErrorFamilies, DebugBridge)
{
    const CPStateFlags failed = FW_UPDATE_FAILED | GENERAL_ERROR;
    expectRows(CatchFamily::debugBridge(),
               {
                   {"system_busy", FW_UPDATE_FAILED | TC_BUSY},
                   {"operation_canceled", FW_UPDATE_FAILED | CANCELLED},
                   {"no_such_file_or_directory", FW_UPDATE_FAILED | FILE_OR_DIR_NOT_FOUND},
                   {"no_such_user", FW_UPDATE_FAILED | FILE_OR_DIR_NOT_FOUND},
                   {"invalid_content", FW_UPDATE_FAILED | INVALID_CONTENT},
                   {"disk_full", FW_UPDATE_FAILED | DISK_FULL},
                   {"link_lost", FW_UPDATE_FAILED | TC_CONNECTION_LOST},
                   {"session_expired", FW_UPDATE_FAILED | TC_CONNECTION_LOST},
                   {"operation_timed_out", FW_UPDATE_FAILED | OPERATION_TIMED_OUT},
                   // No row for a busy device.
                   {"try_again", failed},
                   {"wait_for_idling", failed},
                   {"device_busy", failed},
                   {"std::runtime_error", failed},
               },
               failed);
}

TEST_F(ErrorFamilies, LogOnlyFamiliesKeepTheFlags)
{
    const CPStateFlags before = CPStateFlags(OK | TC_BUSY);
    const char* errors[] = {"try_again",       "wait_for_idling",    "device_busy",
                            "system_busy",     "session_expired",    "link_lost",
                            "not_implemented", "operation_canceled", "operation_timed_out",
                            "bad_data",        "file_exists",        "std::runtime_error"};
    for (const CatchFamily* family :
         {&CatchFamily::syncNotification(), &CatchFamily::reset(), &CatchFamily::diskSpace()}) {
        for (const char* error : errors) {
            const ErrorCase& c = errorCase(error);
            log.clear();
            CPStateFlags flags = before;
            runDeviceCall(guard(), *family, flags, [&](zarvo::session&) -> CPStateFlags {
                c.raise();
                return OK;
            });
            EXPECT_EQ(flags, before) << error;
            EXPECT_EQ(log.errors(), c.reportLines()) << error;
        }
    }
}

} // namespace
} // namespace ConnectLib
