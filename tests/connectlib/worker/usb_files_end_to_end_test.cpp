// File contents and a listing end to end: an emulated USB device in the USB
// driver's folder, the device library's real driver and core, and the worker.
#include "tests/connectlib/worker/device_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace ConnectLib {
namespace {

using Test::ask;
using Test::flagsOf;

class UsbFiles : public Test::DeviceFixture {};

TEST_F(UsbFiles, BinaryRoundTripAndListing)
{
    zarvo::emulator::device_model& model = plugUsbModel();
    // Zero bytes, and more than one report's worth.
    QByteArray data(200000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i % 3 == 0 ? 0 : i * 13);
    const TCData d = record();

    const auto wrote = ask(thread(), &TCWorker::SIGNAL_fileWrote, [d, data](TCWorker* w) {
        w->SLOT_writeFile(d, QStringLiteral("/U/0/RT.BIN"), data);
    });
    EXPECT_EQ(wrote, std::make_tuple(d, qlonglong(data.size()), CPStateFlags(OK)));
    EXPECT_EQ(model.file("/U/0/RT.BIN"), std::string(data.constData(), std::size_t(data.size())));

    const auto read = ask(thread(), &TCWorker::SIGNAL_fileRead,
                          [d](TCWorker* w) { w->SLOT_readFile(d, QStringLiteral("/U/0/RT.BIN")); });
    EXPECT_EQ(flagsOf(read), OK);
    EXPECT_TRUE(std::get<1>(read) == data);

    const auto listed = ask(thread(), &TCWorker::SIGNAL_subdirectoriesReceived, [d](TCWorker* w) {
        w->SLOT_getSubdirectoriesWithoutFile(d, QStringLiteral("/U"), QStringLiteral("USERID.BPB"));
    });
    EXPECT_EQ(listed, std::make_tuple(d, QStringList(), CPStateFlags(OK)));
}

} // namespace
} // namespace ConnectLib
