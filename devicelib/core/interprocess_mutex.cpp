#include "devicelib/core/interprocess_mutex.h"

#include "devicelib/errors/system_errors.h"
#include "devicelib/platform/shm_object.h"
#include "devicelib/platform/thread_id.h"
#include "devicelib/trace/trace.h"

#include <boost/interprocess/exceptions.hpp>

#include <algorithm>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace zarvo::core {

namespace {

// Layout of the 24-byte object, little-endian.
constexpr std::uint64_t state_offset = 0;
constexpr std::uint64_t lock_word_offset = 8;
constexpr std::uint64_t object_size = 24;

constexpr std::uint32_t state_uninitialised = 0;
constexpr std::uint32_t state_initialising = 1;
constexpr std::uint32_t state_initialised = 2;
constexpr std::uint32_t no_owner = 0xFFFFFFFF;

// How long an opener waits for someone else's initialisation to finish.
constexpr std::chrono::milliseconds initialisation_timeout(1000);

void encode(std::uint32_t value, unsigned char* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool write_u32(platform::shm_object& object, std::uint64_t offset, std::uint32_t value)
{
    unsigned char bytes[4];
    encode(value, bytes);
    return object.write(offset, bytes, sizeof bytes);
}

// Lock word, count and owner, written in one call.
bool write_holder(platform::shm_object& object, std::uint32_t lock_word, std::uint32_t count,
                  std::uint32_t owner)
{
    unsigned char bytes[12];
    encode(lock_word, bytes);
    encode(count, bytes + 4);
    encode(owner, bytes + 8);
    return object.write(lock_word_offset, bytes, sizeof bytes);
}

// Whether the object still has to be initialised; throws when it is corrupt.
bool needs_initialisation(const platform::shm_object& object)
{
    if (object.size() < object_size)
        return true;
    unsigned char bytes[4] = {};
    if (object.read(state_offset, bytes, sizeof bytes) != sizeof bytes)
        return true;
    std::uint32_t state = 0;
    for (int i = 3; i >= 0; --i)
        state = (state << 8) | bytes[i];
    if (state == state_uninitialised || state == state_initialising)
        return true;
    if (state == state_initialised)
        return false;
    throw std::runtime_error("Session lock object is corrupted (state " + std::to_string(state) +
                             ").");
}

// Runs under the object's kernel lock, so it never overlaps another
// initialisation, and may be repeated after a creator died half-way.
void initialise(platform::shm_object& object)
{
    if (object.size() < object_size)
        object.resize(object_size);
    if (!write_u32(object, state_offset, state_initialising) ||
        !write_holder(object, 0, 0, no_owner) ||
        !write_u32(object, state_offset, state_initialised))
        throw std::runtime_error("Failed to initialise the session lock object.");
}

bool try_lock_for(platform::shm_object& object, std::chrono::milliseconds timeout)
{
    // Bounded polling: only openers of an uninitialised object get here, and
    // the kernel offers no timed wait for this lock.
    auto deadline = std::chrono::steady_clock::now() + timeout;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (object.try_lock())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

// The kernel refused the lock for a reason other than another holder (no
// lock records left, say): the caller gets the library's error, with the
// system's reason, instead of a foreign one.
[[noreturn]] void refused(const char* function, const std::system_error& e)
{
    ZARVO_TRACE(function, "The device lock failed: %s", e.what());
    throw insufficient_permissions(std::string(e.what()));
}

} // namespace

interprocess_mutex::interprocess_mutex(std::unique_ptr<platform::shm_object> object)
    : object_(std::move(object))
{
}

interprocess_mutex::~interprocess_mutex() = default;

bool interprocess_mutex::add_level(std::uint32_t self)
{
    if (owner_ != self)
        return false;
    if (count_ == std::numeric_limits<std::uint32_t>::max())
        throw boost::interprocess::interprocess_exception(
            boost::interprocess::error_info(boost::interprocess::lock_error),
            "Recursion count of the session lock would wrap around.");
    ++count_;
    return true;
}

bool interprocess_mutex::try_lock()
{
    const std::uint32_t self = platform::current_thread_id();
    std::lock_guard<std::mutex> guard(mutex_);
    if (add_level(self))
        return true;
    if (owner_ != 0 || acquiring_)
        return false;
    bool taken = false;
    try {
        taken = object_->try_lock();
    } catch (const std::system_error& e) {
        refused("zarvo::core::interprocess_mutex::try_lock", e);
    }
    if (!taken)
        return false;
    owner_ = self;
    count_ = 1;
    publish(1, 1, self);
    return true;
}

void interprocess_mutex::lock()
{
    const std::uint32_t self = platform::current_thread_id();
    std::unique_lock<std::mutex> guard(mutex_);
    if (add_level(self))
        return;
    changed_.wait(guard, [this] { return owner_ == 0 && !acquiring_; });
    // This thread waits in the kernel for the whole process; the others wait
    // here, or fail their try-lock as if the lock were held.
    acquiring_ = true;
    guard.unlock();
    try {
        object_->lock();
    } catch (const std::system_error& e) {
        guard.lock();
        acquiring_ = false;
        changed_.notify_all();
        guard.unlock();
        refused("zarvo::core::interprocess_mutex::lock", e);
    } catch (...) {
        guard.lock();
        acquiring_ = false;
        changed_.notify_all();
        throw;
    }
    guard.lock();
    acquiring_ = false;
    owner_ = self;
    count_ = 1;
    publish(1, 1, self);
}

void interprocess_mutex::unlock() noexcept
{
    const std::uint32_t self = platform::current_thread_id();
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (owner_ == self && count_ > 0) {
            if (--count_ == 0) {
                owner_ = 0;
                publish(0, 0, no_owner);
                object_->unlock();
                changed_.notify_all();
            }
            return;
        }
    }
    ZARVO_TRACE("zarvo::core::interprocess_mutex::unlock",
                "Thread %u does not hold the session lock; nothing released.",
                static_cast<unsigned>(self));
}

bool interprocess_mutex::held_by_this_thread() const
{
    const std::uint32_t self = platform::current_thread_id();
    std::lock_guard<std::mutex> guard(mutex_);
    return owner_ == self;
}

void interprocess_mutex::publish(std::uint32_t lock_word, std::uint32_t count,
                                 std::uint32_t owner) noexcept
{
    // Informational only: a failed write changes nothing about who holds it.
    write_holder(*object_, lock_word, count, owner);
}

std::string interprocess_mutex_name(std::uint64_t device_id)
{
    return "libzarvo2-session-" + std::to_string(device_id);
}

std::unique_ptr<interprocess_mutex> create_interprocess_mutex(std::uint64_t device_id)
{
    try {
        auto object =
            std::make_unique<platform::shm_object>("/" + interprocess_mutex_name(device_id));
        if (needs_initialisation(*object)) {
            if (!try_lock_for(*object, initialisation_timeout))
                throw std::runtime_error(
                    "Timed out waiting for the session lock object to be initialised.");
            struct unlock_on_exit {
                platform::shm_object& object;
                ~unlock_on_exit() { object.unlock(); }
            } unlock{*object};
            if (needs_initialisation(*object))
                initialise(*object);
        }
        return std::make_unique<interprocess_mutex>(std::move(object));
    } catch (const std::exception& e) {
        ZARVO_TRACE("create_interprocess_mutex", "%s", e.what());
        return nullptr;
    }
}

} // namespace zarvo::core
