#include "connectlib/attach/deviceattachlistner.h"
#include "connectlib/attach/usb_attach_source.h"
#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/temp_dir.h"

#include "devicelib/usb/vendor_id.h"

#include <QFile>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ConnectLib::Test;
using Subscriber = deviceattachlistner::deviceattach_subscriber;

namespace {

// Every callback of every subscriber, in the order they came.
class Journal {
public:
    void add(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(line);
        m_changed.notify_all();
    }

    // Waits (bounded, against hangs) until count lines are there.
    std::vector<std::string> waitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_lines.size() >= count; });
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};

class Recorder : public Subscriber {
public:
    Recorder(Journal& journal, std::string name)
        : m_journal(journal)
        , m_name(std::move(name))
    {
    }
    void dorvane_device_attached() override { m_journal.add(m_name + " attached"); }
    void dorvane_device_detached() override { m_journal.add(m_name + " detached"); }

private:
    Journal& m_journal;
    std::string m_name;
};

std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// A folder of device socket files, named to the listener in ZARVO_HID_DIR.
// A bare bound SOCK_SEQPACKET socket stands for a plugged device.
class SeamFolder {
public:
    SeamFolder() { ::setenv("ZARVO_HID_DIR", m_dir.path().c_str(), 1); }
    ~SeamFolder()
    {
        for (int fd : m_sockets)
            ::close(fd);
        ::unsetenv("ZARVO_HID_DIR");
    }

    static std::string name(unsigned vendor, unsigned product, const std::string& serial)
    {
        return hex4(vendor) + "-" + hex4(product) + "-" + serial + ".hid";
    }

    // Bound under a temporary name and renamed into place when asked, as
    // the emulator does.
    void plug(const std::string& name, bool renameIntoPlace = false)
    {
        const std::string path = (m_dir / name).string();
        const std::string bindPath = renameIntoPlace ? (m_dir / "binding.tmp").string() : path;
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        ASSERT_GE(fd, 0);
        m_sockets.push_back(fd);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(bindPath.size(), sizeof address.sun_path);
        bindPath.copy(address.sun_path, bindPath.size());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (renameIntoPlace) {
            ASSERT_EQ(::rename(bindPath.c_str(), path.c_str()), 0);
        }
    }

    void unplug(const std::string& name) { ASSERT_EQ(::unlink((m_dir / name).c_str()), 0); }

    void rename(const std::string& from, const std::string& to)
    {
        ASSERT_EQ(::rename((m_dir / from).c_str(), (m_dir / to).c_str()), 0);
    }

private:
    zarvo::test::temp_dir m_dir;
    std::vector<int> m_sockets;
};

constexpr unsigned vendor = zarvo::usb::device_vendor_id;
const std::string dorvane = SeamFolder::name(vendor, 0x0009, "A1B2");

using Lines = std::vector<std::string>;

deviceattachlistner& listener()
{
    return deviceattachlistner::instance();
}

TEST(AttachListener, PlugAndUnplugReachEverySubscriberInSubscriptionOrder)
{
    SeamFolder folder;
    Journal journal;
    Recorder first(journal, "first");
    Recorder second(journal, "second");
    EXPECT_FALSE(listener().isRunning());
    listener().subscribe(&first);
    listener().subscribe(&second);
    EXPECT_TRUE(listener().isRunning());

    folder.plug(dorvane);
    EXPECT_EQ(journal.waitFor(2), (Lines{"first attached", "second attached"}));
    folder.unplug(dorvane);
    EXPECT_EQ(journal.waitFor(4).size(), 4u);

    // Renamed into place and away again, as the emulator does.
    folder.plug(dorvane, true);
    folder.rename(dorvane, "parked.tmp");
    EXPECT_EQ(journal.waitFor(8),
              (Lines{"first attached", "second attached", "first detached", "second detached",
                     "first attached", "second attached", "first detached", "second detached"}));

    listener().unsubscribe(&first);
    listener().unsubscribe(&second);
    EXPECT_FALSE(listener().isRunning());
}

TEST(AttachListener, OtherDevicesAndNamesGiveNothing)
{
    SeamFolder folder;
    Journal journal;
    Recorder recorder(journal, "r");
    listener().subscribe(&recorder);

    for (const std::string& name : {
             SeamFolder::name(vendor, 0x0019, "1"),       // another product
             SeamFolder::name(vendor, 0x0008, "2"),       // the HID device itself
             SeamFolder::name(vendor ^ 0x1, 0x0009, "3"), // another vendor
             SeamFolder::name(vendor, 0x0009, "4") + ".tmp",
             std::string("A2C5-0009-5.hid"), // upper-case hex is not the file format
             SeamFolder::name(vendor, 0x0009, ""),
         })
        folder.plug(name);
    // Events come in order: once this one is seen, the others were passed.
    folder.plug(dorvane);
    EXPECT_EQ(journal.waitFor(1), Lines{"r attached"});
    folder.unplug(SeamFolder::name(vendor, 0x0019, "1"));
    folder.unplug(dorvane);
    EXPECT_EQ(journal.waitFor(2), (Lines{"r attached", "r detached"}));

    listener().unsubscribe(&recorder);
}

TEST(AttachListener, UnsubscribedGetNothingAndTheLastOneStopsTheThread)
{
    SeamFolder folder;
    Journal journal;
    Recorder first(journal, "first");
    Recorder second(journal, "second");
    listener().subscribe(&first);
    listener().subscribe(&second);
    listener().unsubscribe(&first);
    EXPECT_TRUE(listener().isRunning());

    folder.plug(dorvane);
    EXPECT_EQ(journal.waitFor(1), Lines{"second attached"});
    listener().unsubscribe(&second);
    EXPECT_FALSE(listener().isRunning());

    // A new first subscriber starts a new watch.
    listener().subscribe(&first);
    EXPECT_TRUE(listener().isRunning());
    folder.unplug(dorvane);
    EXPECT_EQ(journal.waitFor(2), (Lines{"second attached", "first detached"}));
    listener().unsubscribe(&first);
    EXPECT_FALSE(listener().isRunning());
}

// Gate for a callback that blocks until the test lets it go.
class Blocking : public Subscriber {
public:
    void dorvane_device_attached() override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        m_finished = true;
    }
    void dorvane_device_detached() override {}

    void waitEntered()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_entered; });
        ASSERT_TRUE(m_entered);
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    bool finished()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_finished;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = false;
    bool m_finished = false;
};

TEST(AttachListener, UnsubscribeReturnsOnlyAfterTheRunningCallback)
{
    SeamFolder folder;
    Blocking blocking;
    listener().subscribe(&blocking);
    folder.plug(dorvane);
    blocking.waitEntered();

    std::atomic<bool> returned{false};
    bool finishedAtReturn = false;
    std::thread leaving([&] {
        listener().unsubscribe(&blocking);
        finishedAtReturn = blocking.finished();
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(returned);
    blocking.open();
    leaving.join();
    EXPECT_TRUE(finishedAtReturn);
    EXPECT_FALSE(listener().isRunning());
}

// Leaves from inside its own callback, which cannot wait for itself.
class LeavesOnAttach : public Subscriber {
public:
    explicit LeavesOnAttach(Journal& journal)
        : m_journal(journal)
    {
    }
    void dorvane_device_attached() override
    {
        listener().unsubscribe(this);
        m_journal.add("left");
    }
    void dorvane_device_detached() override { m_journal.add("detached"); }

private:
    Journal& m_journal;
};

TEST(AttachListener, ASubscriberMayLeaveFromItsOwnCallback)
{
    SeamFolder folder;
    Journal journal;
    LeavesOnAttach leaving(journal);
    listener().subscribe(&leaving);
    folder.plug(dorvane);
    EXPECT_EQ(journal.waitFor(1), Lines{"left"});
    EXPECT_FALSE(listener().isRunning());

    // The watch that stopped itself is replaced by a fresh one.
    Recorder recorder(journal, "r");
    listener().subscribe(&recorder);
    folder.unplug(dorvane);
    EXPECT_EQ(journal.waitFor(2), (Lines{"left", "r detached"}));
    listener().unsubscribe(&recorder);
}

TEST(AttachListener, ASourceThatCannotStartIsLoggedOnceAndHarmless)
{
    zarvo::test::temp_dir dir;
    const std::string missing = (dir / "missing").string();
    ::setenv("ZARVO_HID_DIR", missing.c_str(), 1);
    const QString logFile = ConnectLib::Logger::instance()->getCurrentFile();
    const int before = readLines(logFile).size();

    Journal journal;
    Recorder first(journal, "first");
    Recorder second(journal, "second");
    listener().subscribe(&first);
    listener().subscribe(&second);
    EXPECT_FALSE(listener().isRunning());
    const QStringList added = readLines(logFile).mid(before);
    ASSERT_EQ(added.size(), 1) << added.join('\n').toStdString();
    EXPECT_TRUE(added.first().contains(QStringLiteral("USB attach listener idle: ")));
    EXPECT_TRUE(added.first().contains(QString::fromStdString(missing)));

    listener().unsubscribe(&first);
    listener().unsubscribe(&second);
    ::unsetenv("ZARVO_HID_DIR");
}

// A process that ends with subscribers still in place stops and joins the
// watch thread on its way out.
TEST(AttachListener, ProcessExitWithSubscribersEndsCleanly)
{
    SeamFolder folder;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        static Journal journal;
        static Recorder recorder(journal, "r");
        listener().subscribe(&recorder);
        folder.plug(dorvane);
        const bool seen = journal.waitFor(1) == Lines{"r attached"};
        std::exit(seen && listener().isRunning() ? 0 : 1); // static destructors run
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Without the folder the udev monitor is watched; where there is no netlink
// (some containers) its failure is logged. Either way nothing hangs.
TEST(AttachListener, WithoutTheFolderUdevIsWatchedOrItsFailureLogged)
{
    ::unsetenv("ZARVO_HID_DIR");
    const QString logFile = ConnectLib::Logger::instance()->getCurrentFile();
    const int before = readLines(logFile).size();
    Journal journal;
    Recorder recorder(journal, "r");
    listener().subscribe(&recorder);
    const QStringList added = readLines(logFile).mid(before);
    EXPECT_NE(listener().isRunning(), added.size() == 1) << added.join('\n').toStdString();
    listener().unsubscribe(&recorder);
    EXPECT_FALSE(listener().isRunning());
}

TEST(AttachSource, UdevProductPropertyTable)
{
    const std::string vid = hex4(vendor);
    const std::string shortVid = QString::number(vendor, 16).toStdString();
    struct Row {
        std::string text;
        bool parsed;
        unsigned vendorId;
        unsigned productId;
    };
    const Row rows[] = {
        {shortVid + "/9/100", true, vendor, 9},
        {vid + "/0009/0100", true, vendor, 9},
        {shortVid + "/19/100", true, vendor, 0x19},
        {"1d6b/2/510", true, 0x1d6b, 2},
        {"", false, 0, 0},
        {shortVid + "/9", false, 0, 0},
        {shortVid + "/9/100/1", false, 0, 0},
        {shortVid + "//100", false, 0, 0},
        {"xyz/9/100", false, 0, 0},
        {"12345/9/100", false, 0, 0},
        {" 12/9/100", false, 0, 0},
        {"0x12/9/100", false, 0, 0},
    };
    for (const Row& row : rows) {
        const std::optional<ConnectLib::UsbIds> ids =
            ConnectLib::parseUsbProductProperty(row.text.c_str());
        ASSERT_EQ(ids.has_value(), row.parsed) << row.text;
        if (ids) {
            EXPECT_EQ(ids->vendorId, row.vendorId) << row.text;
            EXPECT_EQ(ids->productId, row.productId) << row.text;
        }
    }
    EXPECT_FALSE(ConnectLib::parseUsbProductProperty(nullptr));
}

TEST(AttachSource, SocketFileNameTable)
{
    struct Row {
        const char* name;
        bool parsed;
        unsigned vendorId;
        unsigned productId;
    };
    const Row rows[] = {
        {"abcd-0009-1.hid", true, 0xabcd, 9}, {"0000-ffff-SER-IAL.hid", true, 0, 0xffff},
        {"abcd-0009-.hid", false, 0, 0},      {"ABCD-0009-1.hid", false, 0, 0},
        {"abcd-9-1.hid", false, 0, 0},        {"abcd-0009-1.hi", false, 0, 0},
        {"abcd_0009_1.hid", false, 0, 0},     {"", false, 0, 0},
    };
    for (const Row& row : rows) {
        const auto ids = ConnectLib::parseHidSocketName(QString::fromUtf8(row.name));
        ASSERT_EQ(ids.has_value(), row.parsed) << row.name;
        if (ids) {
            EXPECT_EQ(ids->vendorId, row.vendorId) << row.name;
            EXPECT_EQ(ids->productId, row.productId) << row.name;
        }
    }
    const QString longest = QStringLiteral("abcd-0009-") + QString(126, 'a') + ".hid";
    EXPECT_TRUE(ConnectLib::parseHidSocketName(longest));
    EXPECT_FALSE(
        ConnectLib::parseHidSocketName(QStringLiteral("abcd-0009-") + QString(127, 'a') + ".hid"));
}

} // namespace
