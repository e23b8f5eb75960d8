#include "tests/support/temp_dir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

#include <map>

namespace {

// Runs the generator into dir; its exit code (-1 when it did not run).
int runGenerator(const QString& dir, const QStringList& names = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(IMAGEGEN_PATH), QStringList{dir} + names);
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Relative path to content of every file below dir.
std::map<QString, QByteArray> filesBelow(const QString& dir)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        files[QDir(dir).relativeFilePath(path)] = file.readAll();
    }
    return files;
}

TEST(ImageGen, TwoRunsWriteTheSameBytes)
{
    zarvo::test::temp_dir first;
    zarvo::test::temp_dir second;
    const QString a = QString::fromStdString(first.path().string());
    const QString b = QString::fromStdString(second.path().string());
    ASSERT_EQ(runGenerator(a), 0);
    ASSERT_EQ(runGenerator(b), 0);

    const auto one = filesBelow(a);
    const auto two = filesBelow(b);
    EXPECT_EQ(one.size(), 41u);
    ASSERT_EQ(one.size(), two.size());
    for (const auto& [name, bytes] : one) {
        ASSERT_EQ(two.count(name), 1u) << name.toStdString();
        EXPECT_FALSE(bytes.isEmpty()) << name.toStdString();
        EXPECT_TRUE(bytes == two.at(name)) << name.toStdString();
    }
}

TEST(ImageGen, WritesOnlyTheNamedPictures)
{
    zarvo::test::temp_dir out;
    const QString dir = QString::fromStdString(out.path().string());
    ASSERT_EQ(runGenerator(dir, {QStringLiteral("img/ravosync.png")}), 0);
    const auto files = filesBelow(dir);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->first, QStringLiteral("img/ravosync.png"));
}

TEST(ImageGen, AnUnknownNameFails)
{
    zarvo::test::temp_dir out;
    const QString dir = QString::fromStdString(out.path().string());
    EXPECT_EQ(runGenerator(dir, {QStringLiteral("img/unknown.png")}), 1);
    EXPECT_TRUE(filesBelow(dir).empty());
}

} // namespace
