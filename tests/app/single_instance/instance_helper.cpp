// A program start in miniature for the single-instance tests:
//   instance_helper KEY send MESSAGE BUDGET_MS
//     prints "delivered" and ends with 0 when another instance took the
//     message; else prints "first" and runs, printing "message <text>" for
//     each message taken, until its standard input closes;
//   instance_helper KEY hold
//     becomes the first instance, prints "first" and then never runs its
//     event loop (a live holder that does not answer) until its standard
//     input closes.
#include "app/single_instance/single_instance.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    SingleInstance instance(nullptr, args.at(1));

    if (args.at(2) == QLatin1String("hold")) {
        instance.sendMessage(QStringLiteral("hold"), 5000);
        say(QStringLiteral("first"));
        char byte = 0;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
        return 0;
    }
    if (args.size() < 5 || args.at(2) != QLatin1String("send"))
        return 2;
    if (instance.sendMessage(args.at(3), args.at(4).toInt())) {
        say(QStringLiteral("delivered"));
        return 0;
    }
    say(QStringLiteral("first"));
    QObject::connect(&instance, &SingleInstance::messageReceived,
                     [](const QString& text) { say(QStringLiteral("message ") + text); });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
