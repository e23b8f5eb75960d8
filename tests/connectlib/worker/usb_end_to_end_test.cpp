// A few commands end to end: an emulated USB device in the USB driver's
// folder, the device library's real driver and core, and the worker.
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/device_fixture.h"

#include <gtest/gtest.h>

namespace ConnectLib {
namespace {

using Test::ask;

class UsbEndToEnd : public Test::DeviceFixture {};

TEST_F(UsbEndToEnd, BatteryFreeSpaceAndCurrentUser)
{
    zarvo::emulator::device_model& model = plugUsbModel();
    model.set_battery_level(42);
    const TCData d = record();

    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_batteryStatusReceived,
                  [d](TCWorker* w) { w->SLOT_readBatteryStatus(d); }),
              std::make_tuple(d, 42, CPStateFlags(OK)));

    const zarvo::emulator::device_model::disk_usage disk = model.disk();
    EXPECT_EQ(
        ask(thread(), &TCWorker::SIGNAL_freeSpaceReceived,
            [d](TCWorker* w) { w->SLOT_getFreeSpace(d); }),
        std::make_tuple(d, qulonglong(disk.free_fragments) * disk.fragment_size, CPStateFlags(OK)));

    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_currentUserDataReceived,
                  [d](TCWorker* w) { w->SLOT_getCurrentUserData(d); }),
              std::make_tuple(d, QStringLiteral("/U/0"), 0u, qulonglong(model.profile().master_id),
                              CPStateFlags(OK)));
}

TEST_F(UsbEndToEnd, AnUnpluggedDeviceAnswersAsGone)
{
    plugUsbModel();
    withdraw();
    const TCData d = record();
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_batteryStatusReceived,
                  [d](TCWorker* w) { w->SLOT_readBatteryStatus(d); }),
              std::make_tuple(d, -1, CPStateFlags(TC_CONNECTION_LOST)));
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_freeSpaceReceived,
                  [d](TCWorker* w) { w->SLOT_getFreeSpace(d); }),
              std::make_tuple(d, ~qulonglong(0), CPStateFlags(OK)));
}

} // namespace
} // namespace ConnectLib
