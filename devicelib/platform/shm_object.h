#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct flock;

namespace zarvo::platform {

// The system call that takes and drops the object's lock, fcntl(2) by
// default. Tests replace it to make the lock fail; null restores fcntl.
using lock_call = int (*)(int fd, int command, struct flock* lock);
void set_lock_call(lock_call call);

// A named POSIX shared-memory object used as a small record file. It is
// never mapped: the object may be world-writable and can be truncated by
// anyone, so fields are read and written with pread/pwrite only.
//
// The object also carries an exclusive lock that belongs to this object's
// open file description: the kernel drops it when the descriptor is closed
// or the process dies, and it excludes every other descriptor of the same
// object, also within one process.
class shm_object {
public:
    // Opens the object `name` ("/..."), creating it when it does not exist.
    // A new object gets mode 0666 regardless of the umask. The descriptor is
    // close-on-exec. Throws std::system_error.
    explicit shm_object(const std::string& name);
    ~shm_object();

    shm_object(const shm_object&) = delete;
    shm_object& operator=(const shm_object&) = delete;

    // Whether this call created the object.
    bool created() const { return created_; }

    // Current size in bytes. Throws std::system_error.
    std::uint64_t size() const;
    // Grows or shrinks the object. Throws std::system_error.
    void resize(std::uint64_t size);

    // Reads up to n bytes at offset; returns how many were read (fewer at the
    // end of the object, 0 on error).
    std::size_t read(std::uint64_t offset, void* data, std::size_t n) const noexcept;
    // Writes n bytes at offset; returns whether all of them were written.
    bool write(std::uint64_t offset, const void* data, std::size_t n) noexcept;

    // One attempt at the exclusive lock. Throws std::system_error on failures
    // other than contention.
    bool try_lock();
    // Blocks in the kernel until the exclusive lock is taken.
    void lock();
    void unlock() noexcept;

private:
    int fd_ = -1;
    bool created_ = false;
};

} // namespace zarvo::platform
