#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zarvo::platform {
class shm_object;
}

namespace zarvo::core {

// The cross-process lock of one device, recursive per thread.
//
// Exclusion between processes (and between two lock objects of one device in
// the same process) is the kernel's lock on the shared-memory object, taken by
// a thread's outermost level and dropped by its last one; the kernel also
// drops it when the holding process dies. Owner and recursion count live in
// this process under a small mutex. The object's fields only show who holds
// the device; they are written, never trusted.
class interprocess_mutex {
public:
    explicit interprocess_mutex(std::unique_ptr<platform::shm_object> object);
    ~interprocess_mutex();

    interprocess_mutex(const interprocess_mutex&) = delete;
    interprocess_mutex& operator=(const interprocess_mutex&) = delete;

    // One attempt; true when the calling thread now holds one more level.
    // Fails while another thread of this process holds the lock or waits for
    // another process's hold. A count that would pass 0xFFFFFFFF raises
    // boost::interprocess::interprocess_exception and takes nothing. A kernel
    // refusal other than another holder raises zarvo::insufficient_permissions
    // with the system's reason (traced).
    bool try_lock();
    // Waits until the calling thread holds one more level. Fails as try_lock.
    void lock();
    // Releases one level. A thread that holds no level changes nothing; the
    // call is traced.
    void unlock() noexcept;

    bool held_by_this_thread() const;

private:
    bool add_level(std::uint32_t self);
    void publish(std::uint32_t lock_word, std::uint32_t count, std::uint32_t owner) noexcept;

    std::unique_ptr<platform::shm_object> object_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint32_t owner_ = 0; // thread id of the holder in this process, 0 for none
    std::uint32_t count_ = 0;
    bool acquiring_ = false; // a thread of this process waits for the kernel lock
};

// "libzarvo2-session-" followed by the device id in decimal.
std::string interprocess_mutex_name(std::uint64_t device_id);

// Opens (or creates) the lock object of a device. Returns null when that
// fails, after one trace line with the reason.
std::unique_ptr<interprocess_mutex> create_interprocess_mutex(std::uint64_t device_id);

} // namespace zarvo::core
