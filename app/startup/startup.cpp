#include "app/startup/startup.h"

#include "app/logging/app_log.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ConnectGlobals {

namespace {

// The self-pipe: the handler may only write a byte.
int signalPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

QtMessageHandler terminalHandler = nullptr;

void warningsToTerminal(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    terminalHandler(type, context, text);
}

} // namespace

void keepTerminalToWarnings()
{
    QtMessageHandler previous = qInstallMessageHandler(warningsToTerminal);
    if (previous != warningsToTerminal)
        terminalHandler = previous;
}

void prepareApplication()
{
    QCoreApplication::setLibraryPaths({QCoreApplication::applicationDirPath(),
                                       QLibraryInfo::location(QLibraryInfo::PluginsPath)});
    QApplication::setQuitOnLastWindowClosed(false);
}

QuitOnSignals::QuitOnSignals(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        logLine(QStringLiteral("Cannot watch for SIGTERM and SIGINT."));
        signalPipe[0] = signalPipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitOnSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

QuitOnSignals::~QuitOnSignals()
{
    if (signalPipe[0] < 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void QuitOnSignals::readSignal()
{
    unsigned char byte = 0;
    bool received = false;
    while (::read(signalPipe[0], &byte, 1) == 1)
        received = true;
    if (!received)
        return;
    logLine(QStringLiteral("Signal ") + QString::number(byte) +
            QStringLiteral(" received: quitting."));
    QCoreApplication::quit();
}

} // namespace ConnectGlobals
