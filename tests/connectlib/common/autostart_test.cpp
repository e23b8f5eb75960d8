#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <gtest/gtest.h>

using ConnectLib::Common;
using namespace ConnectLib::Test;

namespace {

QString autostartFolder()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart");
}

QStringList everythingBelow(const QString& folder)
{
    QStringList names;
    const QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        names << info.fileName();
        if (info.isDir())
            names << everythingBelow(info.absoluteFilePath());
    }
    return names;
}

// The program's path from an Exec value: the string escapes undone, then
// the quoting (as a desktop environment reads it).
QString unquoteExec(const QString& value)
{
    QString unescaped;
    for (int i = 0; i < value.size(); ++i) {
        if (value.at(i) == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            unescaped += next == QLatin1Char('s')   ? QStringLiteral(" ")
                         : next == QLatin1Char('n') ? QStringLiteral("\n")
                                                    : QString(next);
        } else {
            unescaped += value.at(i);
        }
    }
    EXPECT_TRUE(unescaped.startsWith(QLatin1Char('"')) && unescaped.endsWith(QLatin1Char('"')))
        << unescaped.toStdString();
    QString path;
    for (int i = 1; i + 1 < unescaped.size(); ++i) {
        if (unescaped.at(i) == QLatin1Char('\\'))
            ++i;
        else if (unescaped.at(i) == QLatin1Char('%'))
            ++i; // "%%"
        path += unescaped.at(i);
    }
    return path;
}

TEST(Autostart, EnableWritesAnEntryThatQuotesTheProgramAndDisableRemovesIt)
{
    const QString entry = autostartFolder() + QStringLiteral("/ravosync.desktop");
    EXPECT_EQ(Common::autostartEntryPath(), entry);
    Common::setApplicationAutostart(QStringLiteral("RavoSync"), true);
    ASSERT_TRUE(QFile::exists(entry));

    const QStringList lines = readLines(entry);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("[Desktop Entry]"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Type=Application")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Name=RavoSync")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Terminal=false")));
    const QStringList exec = lines.filter(QRegularExpression(QStringLiteral("^Exec=")));
    ASSERT_EQ(exec.size(), 1);
    EXPECT_EQ(unquoteExec(exec.first().mid(5)), QCoreApplication::applicationFilePath());

    // Enabling again replaces the entry; disabling removes it.
    Common::setApplicationAutostart(QStringLiteral("RavoSync"), true);
    EXPECT_EQ(readLines(entry), lines);
    Common::setApplicationAutostart(QStringLiteral("RavoSync"), false);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(everythingBelow(autostartFolder()), QStringList());
}

// The program itself lives under a folder with a blank and shell-special
// characters: a copy of this test program is started from there.
TEST(Autostart, ExecQuotesAProgramPathWithBlanksAndSpecialCharacters)
{
    if (qEnvironmentVariableIsSet("AUTOSTART_CONFIG")) {
        // The test main gave this process folders of its own; write into
        // the parent's.
        qputenv("XDG_CONFIG_HOME", qgetenv("AUTOSTART_CONFIG"));
        Common::setApplicationAutostart(QStringLiteral("Child"), true);
        return;
    }
    const QString folder = QDir::tempPath() + QStringLiteral("/my programs $HOME `x` \"q\" 100%");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/ravo sync");
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), program));

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("AUTOSTART_CONFIG"), qEnvironmentVariable("XDG_CONFIG_HOME"));
    child.setProcessEnvironment(environment);
    child.start(program, {QStringLiteral("--gtest_filter=Autostart.ExecQuotes*")});
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();

    const QStringList exec = readLines(autostartFolder() + QStringLiteral("/ravosync.desktop"))
                                 .filter(QRegularExpression(QStringLiteral("^Exec=")));
    ASSERT_EQ(exec.size(), 1);
    EXPECT_TRUE(exec.first().startsWith(QStringLiteral("Exec=\""))) << exec.first().toStdString();
    EXPECT_EQ(unquoteExec(exec.first().mid(5)), program);
    QFile::remove(Common::autostartEntryPath());
}

// Whatever name the setting holds, only the program's own entry is written
// or removed; the name is only shown.
TEST(Autostart, ValueNamesOnlyNameTheEntry)
{
    const QString folder = autostartFolder();
    QFile::remove(Common::autostartEntryPath());
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/sub")));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/keep.desktop"), "x"));
    const QStringList before = everythingBelow(qEnvironmentVariable("XDG_CONFIG_HOME"));

    for (const char* name : {".", "..", "sub/x", "../escape", "/abs", "keep", "a\nExec=evil"}) {
        Common::setApplicationAutostart(QString::fromUtf8(name), true);
        const QStringList lines = readLines(Common::autostartEntryPath());
        EXPECT_TRUE(lines.contains(
            QStringLiteral("Name=") +
            QString::fromUtf8(name).replace(QLatin1Char('\n'), QLatin1String("\\n"))))
            << name;
        EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^Exec="))).size(), 1) << name;
        Common::setApplicationAutostart(QString::fromUtf8(name), false);
        EXPECT_EQ(everythingBelow(qEnvironmentVariable("XDG_CONFIG_HOME")), before) << name;
    }
    // An empty name writes nothing.
    Common::setApplicationAutostart(QString(), true);
    EXPECT_EQ(everythingBelow(qEnvironmentVariable("XDG_CONFIG_HOME")), before);
    EXPECT_FALSE(
        QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/escape.desktop")));
}

// Entries of other programs survive, under their names and under the
// program's own.
TEST(Autostart, AForeignEntrySurvives)
{
    const QString folder = autostartFolder();
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray foreign = "[Desktop Entry]\nType=Application\nName=Backup\nExec=backup\n";
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/backup-agent.desktop"), foreign));
    for (const bool enable : {true, false}) {
        Common::setApplicationAutostart(QStringLiteral("backup-agent"), enable);
        EXPECT_EQ(readBytes(folder + QStringLiteral("/backup-agent.desktop")), foreign);
    }

    ASSERT_TRUE(writeFile(Common::autostartEntryPath(), foreign));
    for (const bool enable : {true, false}) {
        Common::setApplicationAutostart(QStringLiteral("RavoSync"), enable);
        EXPECT_EQ(readBytes(Common::autostartEntryPath()), foreign);
    }
    QFile::remove(Common::autostartEntryPath());
    QFile::remove(folder + QStringLiteral("/backup-agent.desktop"));
}

} // namespace
