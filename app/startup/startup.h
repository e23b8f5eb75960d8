#pragma once

#include <QObject>

class QSocketNotifier;

namespace ConnectGlobals {

// Plug-ins come from the program's folder, then Qt's own plug-in folder
// (the image formats the pages' pictures need live there); folders named
// in the environment are dropped. Closing the last window leaves the
// program running in the tray.
void prepareApplication();

// From now on Qt's debug and info messages, which carry every log line
// (the log file keeps them), stay off standard error; warnings and worse
// still reach it.
void keepTerminalToWarnings();

// While it lives, SIGTERM and SIGINT end the event dispatch as the tray's
// Quit does, so the ordinary shutdown runs. One at a time.
class QuitOnSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace ConnectGlobals
