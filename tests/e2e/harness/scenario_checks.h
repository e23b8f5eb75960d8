#pragma once

// Checks every end-to-end scenario makes, shared by the scenario programs.

#include "tests/e2e/harness/e2e_run.h"

#include <gtest/gtest.h>

#include <iostream>

namespace RavoSync::E2e {

// The tray icon's state pictures (tools/imagegen/pictures.cpp), each a disk
// of one colour: the running sync, a sync done and a sync failed.
inline const QString traySyncOn = QStringLiteral("1f78d1");
inline const QString traySyncDone = QStringLiteral("2e9e44");
inline const QString traySyncError = QStringLiteral("d0342c");

// A screen grab of this moment, once the sync window shows its header and
// content (and with trayColours, see EndToEndRun::screenshot, the tray icon
// its state); fails when that does not happen within a few seconds.
inline void expectScreenshot(EndToEndRun& run, const QString& moment,
                             const QString& trayColours = QString())
{
    EXPECT_TRUE(EndToEndRun::waitUntil(
        [&] { return !run.screenshot(moment, true, trayColours).isEmpty(); }, 10000))
        << moment.toStdString() << ": " << run.lastError().toStdString();
}

// Asks the program to end, then: exit code 0, no crash or failed connection
// group in the log, no request without TLS; prints the peak memory.
inline void stopAndCheckEveryScenario(EndToEndRun& run)
{
    const long emulatorPeak = run.emulatorPeakKiB();
    EXPECT_EQ(run.stopProgram(), 0) << "SIGTERM ends the program with exit code 0";
    std::cout << "peak memory: RavoSync " << run.programPeakKiB() << " KiB, emulator "
              << emulatorPeak << " KiB" << std::endl;
    EXPECT_EQ(run.faultLines(), QStringList());
    for (const FakeRequest& request : run.plainRequests())
        ADD_FAILURE() << "without TLS: " << request.method.toStdString() << " "
                      << request.scheme.toStdString() << "://" << request.host.toStdString()
                      << request.path.toStdString();
}

} // namespace RavoSync::E2e
