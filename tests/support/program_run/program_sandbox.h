#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <string>
#include <vector>

namespace RavoSync::Test {

// The folders of one run of the real RavoSync program, as a user would have
// them but private to the test: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_STATE_HOME, XDG_RUNTIME_DIR (closed
// to others, as the program's single-instance rule wants), TMPDIR and the
// HID seam folder, below a short temporary root (socket paths must fit). The
// root is removed when this goes.
class ProgramSandbox {
public:
    ProgramSandbox();
    ~ProgramSandbox();
    ProgramSandbox(const ProgramSandbox&) = delete;
    ProgramSandbox& operator=(const ProgramSandbox&) = delete;

    bool ready() const { return !m_root.isEmpty(); }
    const QString& root() const { return m_root; }
    // A file or folder below the root.
    QString path(const QString& name) const;

    // "$XDG_CONFIG_HOME/Zarvo/ZarvoRavoSync.conf".
    QString settingsFile() const;
    QVariant setting(const QString& key) const;
    void setSetting(const QString& key, const QVariant& value);
    // The fake web service as the program's manual proxy; the built-in
    // addresses stay.
    void useProxy(quint16 port);

    // The program's log folder; the files in it are named by the program's
    // local date, "rs_<yyyyMMdd>.log".
    QString logFolder() const;
    // The lines of every log file, oldest file first.
    QStringList logLines() const;
    bool logHas(const QString& text) const;

    // The program's environment: the private folders, the HID seam, no
    // network device discovery and caFile as a trust anchor.
    std::vector<std::string> environment(const QString& caFile) const;

private:
    QString m_root;
};

} // namespace RavoSync::Test
