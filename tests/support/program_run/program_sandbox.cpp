#include "tests/support/program_run/program_sandbox.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include <cstdlib>

#include <unistd.h>

namespace RavoSync::Test {

ProgramSandbox::ProgramSandbox()
{
    // Short, so the socket paths below it fit.
    QByteArray pattern("/tmp/rse-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder";
        return;
    }
    m_root = QString::fromLocal8Bit(pattern);
    for (const char* folder : {"home", "config", "data", "state", "run", "tmp", "hid"}) {
        if (!QDir().mkpath(path(QLatin1String(folder))))
            ADD_FAILURE() << "cannot make " << folder;
    }
    QFile::setPermissions(path(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

ProgramSandbox::~ProgramSandbox()
{
    if (!m_root.isEmpty())
        QDir(m_root).removeRecursively();
}

QString ProgramSandbox::path(const QString& name) const
{
    return m_root + QLatin1Char('/') + name;
}

QString ProgramSandbox::settingsFile() const
{
    return path(QStringLiteral("config/Zarvo/ZarvoRavoSync.conf"));
}

QVariant ProgramSandbox::setting(const QString& key) const
{
    return QSettings(settingsFile(), QSettings::IniFormat).value(key);
}

void ProgramSandbox::setSetting(const QString& key, const QVariant& value)
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.setValue(key, value);
}

void ProgramSandbox::useProxy(quint16 port)
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("proxytype"), QStringLiteral("2"));
    settings.setValue(QStringLiteral("proxyname"), QStringLiteral("::1"));
    settings.setValue(QStringLiteral("proxyport"), QString::number(port));
}

QString ProgramSandbox::logFolder() const
{
    return path(QStringLiteral("state/ravosync/logs"));
}

QStringList ProgramSandbox::logLines() const
{
    QStringList lines;
    const QDir folder(logFolder());
    const QStringList files =
        folder.entryList({QStringLiteral("rs_*.log")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            lines += QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }
    return lines;
}

bool ProgramSandbox::logHas(const QString& text) const
{
    for (const QString& line : logLines()) {
        if (line.contains(text))
            return true;
    }
    return false;
}

std::vector<std::string> ProgramSandbox::environment(const QString& caFile) const
{
    return {"HOME=" + path(QStringLiteral("home")).toStdString(),
            "XDG_CONFIG_HOME=" + path(QStringLiteral("config")).toStdString(),
            "XDG_DATA_HOME=" + path(QStringLiteral("data")).toStdString(),
            "XDG_STATE_HOME=" + path(QStringLiteral("state")).toStdString(),
            "XDG_RUNTIME_DIR=" + path(QStringLiteral("run")).toStdString(),
            "TMPDIR=" + path(QStringLiteral("tmp")).toStdString(),
            "ZARVO_HID_DIR=" + path(QStringLiteral("hid")).toStdString(),
            "ZARVO_DNSSD_LIBRARY=none",
            "SSL_CERT_FILE=" + caFile.toStdString()};
}

} // namespace RavoSync::Test
