#include "devicelib/core/interprocess_mutex.h"

#include "devicelib/platform/shm_object.h"
#include "tests/devicelib/core/lock_holder_process.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/latch.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <limits>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zarvo::core {
namespace {

using test::lock_holder_process;
using test::test_device;

std::uint32_t field(const std::vector<unsigned char>& bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes.at(offset + i);
    return value;
}

// Holds the kernel lock on a device's object through a descriptor of its own,
// as another process would.
class foreign_kernel_hold {
public:
    explicit foreign_kernel_hold(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC))
    {
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        EXPECT_EQ(::fcntl(fd_, F_OFD_SETLK, &lock), 0);
    }
    ~foreign_kernel_hold() { ::close(fd_); }

private:
    int fd_;
};

class interprocess_mutex_test : public test::trace_fixture {};

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A thread that waits for the lock, takes it and lets go again.
class waiter {
public:
    explicit waiter(interprocess_mutex& mutex)
        : thread_([this, &mutex] {
            mutex.lock();
            took_.set_value();
            mutex.unlock();
        })
    {
    }
    ~waiter() { thread_.join(); }

    bool has_returned()
    {
        return done_.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready;
    }
    void finish() { done_.get(); }

private:
    std::promise<void> took_;
    std::future<void> done_ = took_.get_future();
    std::thread thread_;
};

TEST(interprocess_mutex, name_is_the_prefix_and_the_decimal_id)
{
    const std::pair<std::uint64_t, const char*> rows[] = {
        {0, "libzarvo2-session-0"},
        {3, "libzarvo2-session-3"},
        {std::numeric_limits<std::uint64_t>::max(), "libzarvo2-session-18446744073709551615"},
    };
    for (const auto& [id, name] : rows)
        EXPECT_EQ(interprocess_mutex_name(id), name);
}

TEST(interprocess_mutex, object_is_world_writable_close_on_exec_and_shows_the_holder)
{
    test_device device;
    mode_t old_mask = ::umask(077);
    auto mutex = create_interprocess_mutex(device.id());
    ::umask(old_mask);
    ASSERT_TRUE(mutex);

    struct stat st;
    ASSERT_EQ(::stat(device.shm_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    EXPECT_EQ(st.st_size, 24);

    // The descriptor of the object must not leak into programs we start.
    int found = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    ASSERT_NE(fds, nullptr);
    while (dirent* e = ::readdir(fds)) {
        char target[512] = {};
        std::string link = std::string("/proc/self/fd/") + e->d_name;
        if (::readlink(link.c_str(), target, sizeof target - 1) > 0 &&
            device.shm_path() == target) {
            ++found;
            EXPECT_TRUE(::fcntl(std::stoi(e->d_name), F_GETFD) & FD_CLOEXEC);
        }
    }
    ::closedir(fds);
    EXPECT_EQ(found, 1);

    auto bytes = device.bytes();
    EXPECT_EQ(field(bytes, 0), 2u);
    EXPECT_EQ(field(bytes, 8), 0u);
    EXPECT_EQ(field(bytes, 12), 0u);
    EXPECT_EQ(field(bytes, 16), 0xFFFFFFFFu);

    ASSERT_TRUE(mutex->try_lock());
    ASSERT_TRUE(mutex->try_lock());
    bytes = device.bytes();
    EXPECT_EQ(field(bytes, 8), 1u);
    EXPECT_EQ(field(bytes, 12), 1u);
    EXPECT_EQ(field(bytes, 16), static_cast<std::uint32_t>(::gettid()));
    mutex->unlock();
    mutex->unlock();
    bytes = device.bytes();
    EXPECT_EQ(field(bytes, 8), 0u);
    EXPECT_EQ(field(bytes, 16), 0xFFFFFFFFu);
}

TEST(interprocess_mutex, levels_nest_per_thread_and_exclude_other_threads)
{
    test_device device;
    auto mutex = create_interprocess_mutex(device.id());
    ASSERT_TRUE(mutex);
    auto try_elsewhere = [&] {
        return std::async(std::launch::async,
                          [&] {
                              bool taken = mutex->try_lock();
                              if (taken)
                                  mutex->unlock();
                              return taken;
                          })
            .get();
    };

    ASSERT_TRUE(mutex->try_lock());
    ASSERT_TRUE(mutex->try_lock());
    EXPECT_FALSE(try_elsewhere());
    mutex->unlock();
    EXPECT_FALSE(try_elsewhere());
    mutex->unlock();
    EXPECT_TRUE(try_elsewhere());

    // A waiting lock on another thread returns once the holder lets go.
    ASSERT_TRUE(mutex->try_lock());
    waiter w(*mutex);
    EXPECT_FALSE(w.has_returned());
    mutex->unlock();
    w.finish();
}

TEST(interprocess_mutex, two_lock_objects_of_one_device_exclude_each_other)
{
    test_device device;
    auto first = create_interprocess_mutex(device.id());
    auto second = create_interprocess_mutex(device.id());
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->try_lock());
    EXPECT_FALSE(second->try_lock());
    first->unlock();
    EXPECT_TRUE(second->try_lock());
    second->unlock();
}

TEST_F(interprocess_mutex_test, unlock_by_a_thread_that_holds_nothing_changes_nothing)
{
    test_device device;
    auto mutex = create_interprocess_mutex(device.id());
    ASSERT_TRUE(mutex);
    ASSERT_TRUE(mutex->try_lock());

    std::thread([&] {
        mutex->unlock();
        EXPECT_FALSE(mutex->try_lock());
    }).join();

    EXPECT_TRUE(mutex->held_by_this_thread());
    ASSERT_EQ(log.messages().size(), 1u);
    EXPECT_TRUE(starts_with(log.messages()[0], "zarvo::core::interprocess_mutex::unlock: "));
    mutex->unlock();
}

// Both orders of opening: the second opener must lock the same object, never
// replace it under the first one's feet.
TEST(interprocess_mutex, excludes_another_process_whichever_opens_first)
{
    for (bool program_first : {true, false}) {
        SCOPED_TRACE(program_first ? "program opens first" : "test opens first");
        test_device device;
        lock_holder_process holder;
        std::unique_ptr<interprocess_mutex> mutex;
        if (!program_first)
            mutex = create_interprocess_mutex(device.id());
        ASSERT_EQ(holder.command("hold " + std::to_string(device.id())), "held");
        if (program_first)
            mutex = create_interprocess_mutex(device.id());
        ASSERT_TRUE(mutex);

        EXPECT_FALSE(mutex->try_lock());
        ASSERT_EQ(holder.command("release"), "released");
        ASSERT_TRUE(mutex->try_lock());

        // Now the program waits for us, and gets the lock when we let go.
        holder.send("hold " + std::to_string(device.id()) + " wait");
        EXPECT_FALSE(holder.reply_pending());
        mutex->unlock();
        EXPECT_EQ(holder.reply(), "held");
        EXPECT_FALSE(mutex->try_lock());
    }
}

// A device that the lock-holder program holds, and a lock object of it here.
class held_by_another_process : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(holder.command("hold " + std::to_string(device.id())), "held");
        mutex = create_interprocess_mutex(device.id());
        ASSERT_TRUE(mutex);
    }

    test_device device;
    lock_holder_process holder;
    std::unique_ptr<interprocess_mutex> mutex;
};

// The waiting lock call stops before the kernel until the test lets it
// through, so the test knows a thread of this process waits for the other
// program's hold. The one-attempt call goes straight to the kernel.
test::latch* waiting_entered = nullptr;
test::latch* waiting_release = nullptr;

int gated_lock_call(int fd, int command, struct flock* lock)
{
    if (command == F_OFD_SETLKW) {
        waiting_entered->open();
        waiting_release->wait();
    }
    return ::fcntl(fd, command, lock);
}

TEST_F(held_by_another_process, a_thread_waiting_for_the_other_program_turns_try_locks_away)
{
    test::latch entered, release;
    waiting_entered = &entered;
    waiting_release = &release;
    platform::set_lock_call(&gated_lock_call);
    struct restore {
        ~restore() { platform::set_lock_call(nullptr); }
    } restore_lock_call;

    std::promise<void> a_took;
    test::latch a_done;
    std::thread a([&] {
        mutex->lock();
        a_took.set_value();
        a_done.wait();
        mutex->unlock();
    });
    ASSERT_TRUE(entered.wait());
    // Thread A waits for the program; a try on thread B fails even once the
    // program has let go, since the kernel would grant it to this process
    // as a whole.
    EXPECT_FALSE(std::async(std::launch::async, [&] { return mutex->try_lock(); }).get());
    ASSERT_EQ(holder.command("release"), "released");
    EXPECT_FALSE(std::async(std::launch::async, [&] { return mutex->try_lock(); }).get());

    // Exactly one of them has it: A, until A lets go.
    release.open();
    a_took.get_future().get();
    EXPECT_FALSE(std::async(std::launch::async, [&] { return mutex->try_lock(); }).get());
    EXPECT_EQ(holder.command("hold " + std::to_string(device.id())), "busy");
    a_done.open();
    a.join();
    EXPECT_TRUE(std::async(std::launch::async, [&] {
                    const bool taken = mutex->try_lock();
                    if (taken)
                        mutex->unlock();
                    return taken;
                }).get());
}

TEST_F(held_by_another_process, a_killed_holder_frees_the_device_at_once)
{
    EXPECT_FALSE(mutex->try_lock());

    holder.kill();
    ASSERT_TRUE(mutex->try_lock());
    mutex->unlock();
}

TEST_F(held_by_another_process, waiting_lock_returns_when_the_other_process_releases)
{
    waiter w(*mutex);
    EXPECT_FALSE(w.has_returned());
    // While one thread waits for the other process, this thread's try-lock
    // fails as if the lock were held here.
    EXPECT_FALSE(mutex->try_lock());
    ASSERT_EQ(holder.command("release"), "released");
    w.finish();
}

struct planted_case {
    const char* name;
    std::size_t size;
    std::uint32_t state;
    bool usable;
    std::size_t size_after;
};

TEST_F(interprocess_mutex_test, planted_objects)
{
    const planted_case rows[] = {
        {"corrupt state", 24, 7, false, 24},        {"empty object", 0, 0, true, 24},
        {"creator died half-way", 24, 1, true, 24}, {"shorter than the layout", 8, 2, true, 24},
        {"larger, initialised", 64, 2, true, 64},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        log.clear();
        test_device device;
        device.plant(row.size, row.state);

        auto mutex = create_interprocess_mutex(device.id());
        EXPECT_EQ(static_cast<bool>(mutex), row.usable);
        EXPECT_EQ(device.bytes().size(), row.size_after);
        if (!row.usable) {
            ASSERT_EQ(log.messages().size(), 1u);
            EXPECT_TRUE(starts_with(log.messages()[0], "create_interprocess_mutex: "));
            continue;
        }
        EXPECT_TRUE(log.messages().empty());
        EXPECT_EQ(field(device.bytes(), 0), 2u);
        auto other = create_interprocess_mutex(device.id());
        ASSERT_TRUE(other);
        ASSERT_TRUE(mutex->try_lock());
        EXPECT_FALSE(other->try_lock());
        mutex->unlock();
    }
}

TEST_F(interprocess_mutex_test, opening_gives_up_when_initialisation_never_finishes)
{
    test_device device;
    device.plant(24, 1);
    foreign_kernel_hold stuck_creator(device.shm_path());

    EXPECT_FALSE(create_interprocess_mutex(device.id()));
    ASSERT_EQ(log.messages().size(), 1u);
    EXPECT_EQ(log.messages()[0],
              "create_interprocess_mutex: "
              "Timed out waiting for the session lock object to be initialised.");
}

} // namespace
} // namespace zarvo::core
