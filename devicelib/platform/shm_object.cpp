#include "devicelib/platform/shm_object.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zarvo::platform {

namespace {

int system_lock_call(int fd, int command, struct flock* lock)
{
    return ::fcntl(fd, command, lock);
}

std::atomic<lock_call> current_lock_call{&system_lock_call};

int lock_call_now(int fd, int command, struct flock* lock)
{
    return current_lock_call.load()(fd, command, lock);
}

[[noreturn]] void throw_errno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

int open_or_create(const std::string& name, bool& created)
{
    // O_NONBLOCK keeps a planted FIFO from blocking the open; the type is
    // checked afterwards. Exclusive creation first, so that an existing object
    // of another user is opened without O_CREAT (protected_regular refuses it).
    constexpr int flags = O_RDWR | O_CLOEXEC | O_NONBLOCK;
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::shm_open(name.c_str(), flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            // The umask may have narrowed the mode; every user must reach it.
            if (::fchmod(fd, 0666) != 0) {
                int error = errno;
                ::close(fd);
                errno = error;
                throw_errno("fchmod");
            }
            created = true;
            return fd;
        }
        if (errno != EEXIST)
            throw_errno("shm_open");
        fd = ::shm_open(name.c_str(), flags, 0);
        if (fd >= 0) {
            created = false;
            return fd;
        }
        // Removed between the two calls: try to create it again.
        if (errno != ENOENT)
            throw_errno("shm_open");
    }
    throw_errno("shm_open");
}

struct flock whole_object(short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0; // to the end, however large the object grows
    return lock;
}

} // namespace

void set_lock_call(lock_call call)
{
    current_lock_call = call ? call : &system_lock_call;
}

shm_object::shm_object(const std::string& name)
    : fd_(open_or_create(name, created_))
{
    // Anyone can plant an entry under the name; only a regular object will do.
    struct stat st;
    int error = 0;
    if (::fstat(fd_, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    if (error != 0) {
        ::close(fd_);
        throw std::system_error(error, std::generic_category(), "fstat");
    }
}

shm_object::~shm_object()
{
    ::close(fd_);
}

std::uint64_t shm_object::size() const
{
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        throw_errno("fstat");
    return static_cast<std::uint64_t>(st.st_size);
}

void shm_object::resize(std::uint64_t size)
{
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        throw_errno("ftruncate");
}

std::size_t shm_object::read(std::uint64_t offset, void* data, std::size_t n) const noexcept
{
    ssize_t got;
    do {
        got = ::pread(fd_, data, n, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got < 0 ? 0 : static_cast<std::size_t>(got);
}

bool shm_object::write(std::uint64_t offset, const void* data, std::size_t n) noexcept
{
    ssize_t put;
    do {
        put = ::pwrite(fd_, data, n, static_cast<off_t>(offset));
    } while (put < 0 && errno == EINTR);
    return put == static_cast<ssize_t>(n);
}

bool shm_object::try_lock()
{
    struct flock lock = whole_object(F_WRLCK);
    if (lock_call_now(fd_, F_OFD_SETLK, &lock) == 0)
        return true;
    if (errno == EAGAIN || errno == EACCES)
        return false;
    throw_errno("fcntl(F_OFD_SETLK)");
}

void shm_object::lock()
{
    struct flock lock = whole_object(F_WRLCK);
    while (lock_call_now(fd_, F_OFD_SETLKW, &lock) != 0) {
        if (errno != EINTR)
            throw_errno("fcntl(F_OFD_SETLKW)");
    }
}

void shm_object::unlock() noexcept
{
    struct flock lock = whole_object(F_UNLCK);
    lock_call_now(fd_, F_OFD_SETLK, &lock);
}

} // namespace zarvo::platform
