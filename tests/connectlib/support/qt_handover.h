#pragma once

#include <QCoreApplication>

namespace ConnectLib::Test {

// The ktlib tests' application object. Under ThreadSanitizer it tells the
// race checker how Qt hands data between threads: Debian's Qt is not
// instrumented, so the checker cannot see that a queued call's arguments,
// written by the poster, are read by the receiver only after the event is
// delivered. Every post made through Qt's entry points (signals, queued
// invocations, posted events, thread start and wait) is a release, and every
// delivery an acquire (qt_handover.cpp). Elsewhere it is a plain
// QCoreApplication.
class TestApplication : public QCoreApplication {
public:
    TestApplication(int& argc, char** argv)
        : QCoreApplication(argc, argv)
    {
    }

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace ConnectLib::Test
