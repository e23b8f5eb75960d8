#include "devicelib/core/session_lock.h"

#include "devicelib/core/connection.h"
#include "devicelib/core/core_session.h"
#include "devicelib/core/interprocess_mutex.h"
#include "devicelib/errors/errors.h"
#include "devicelib/trace/trace.h"

#include <exception>

namespace zarvo {

namespace {

session_lock::observer& empty_observer()
{
    // Never destroyed: locks may still be released during process exit.
    static session_lock::observer* const instance = new session_lock::observer;
    return *instance;
}

core::session& implementation(session& s)
{
    auto* found = dynamic_cast<core::session*>(&s);
    if (!found)
        throw invalid_function("session lock needs a session of this library");
    return *found;
}

// The release must complete whatever an observer or connection throws.
template <typename Call>
void guarded(const char* step, Call&& call) noexcept
{
    try {
        call();
    } catch (const std::exception& e) {
        ZARVO_TRACE("zarvo::session_lock::~session_lock", "%s failed: %s", step, e.what());
    } catch (...) {
        ZARVO_TRACE("zarvo::session_lock::~session_lock", "%s failed.", step);
    }
}

} // namespace

session_lock::observer::~observer() = default;
void session_lock::observer::acquiring(session&, std::uint32_t) {}
void session_lock::observer::acquired(session&, std::uint32_t) {}
void session_lock::observer::failed(session&, std::uint32_t) {}
void session_lock::observer::releasing(session&, std::uint32_t) {}
void session_lock::observer::released(session&, std::uint32_t) {}

session_lock::session_lock(session& session, std::uint32_t flags)
    : session_lock(session, empty_observer(), flags)
{
}

session_lock::session_lock(session& s, observer& o, std::uint32_t flags)
    : session_(&s)
    , observer_(&o)
    , flags_(flags)
{
    core::session& impl = implementation(s);
    observer_->acquiring(s, impl.lock_level().load());
    core::interprocess_mutex* lock = impl.device_lock();
    if (!lock) {
        observer_->failed(s, flags_);
        throw insufficient_permissions();
    }
    bool taken = false;
    try {
        if (flags_ & wait) {
            lock->lock();
            taken = true;
        } else {
            taken = lock->try_lock();
        }
    } catch (const insufficient_permissions&) {
        observer_->failed(s, flags_);
        throw;
    }
    if (!taken) {
        observer_->failed(s, flags_);
        throw system_busy();
    }
    const std::uint32_t level = impl.lock_level().fetch_add(1) + 1;
    try {
        observer_->acquired(s, level);
    } catch (...) {
        impl.lock_level().fetch_sub(1);
        lock->unlock();
        throw;
    }
}

session_lock::~session_lock()
{
    core::session& impl = static_cast<core::session&>(*session_);
    core::interprocess_mutex& lock = *impl.device_lock();
    if (!lock.held_by_this_thread()) {
        // Made on another thread: releasing here would free nothing of ours.
        ZARVO_TRACE("zarvo::session_lock::~session_lock",
                    "Released on a thread that does not hold the session lock; nothing released.");
        return;
    }
    guarded("releasing", [&] { observer_->releasing(*session_, impl.lock_level().load()); });
    const std::uint32_t level = impl.lock_level().fetch_sub(1) - 1;
    boost::lock_guard<boost::mutex> guard(impl.cancel_mutex());
    core::connection* current = impl.current_for_cancel();
    if (current && level == 0 && !(flags_ & keep_cancel))
        guarded("reset_cancel", [&] { current->reset_cancel(); });
    lock.unlock();
    guarded("released", [&] { observer_->released(*session_, level); });
}

} // namespace zarvo
