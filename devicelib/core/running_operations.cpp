#include "devicelib/core/running_operations.h"

#include "devicelib/core/core_session.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace zarvo::core {
namespace {

struct running_state {
    std::mutex mutex;
    std::condition_variable ended;
    // Sessions with their count of running operations. A session is deleted
    // only after its operations ended, so the pointers stay valid here.
    std::map<session*, int> sessions;
    int count = 0;
};

running_state& state()
{
    static running_state s;
    return s;
}

} // namespace

running_operation::running_operation(session& s)
    : session_(s)
{
    running_state& r = state();
    std::lock_guard<std::mutex> lock(r.mutex);
    ++r.sessions[&session_];
    ++r.count;
}

running_operation::~running_operation()
{
    running_state& r = state();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto found = r.sessions.find(&session_);
        if (--found->second == 0)
            r.sessions.erase(found);
        --r.count;
    }
    r.ended.notify_all();
}

int running_operation_count()
{
    running_state& r = state();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.count;
}

bool settle_running_operations(std::chrono::milliseconds wait, std::chrono::milliseconds grace)
{
    running_state& r = state();
    std::unique_lock<std::mutex> lock(r.mutex);
    const auto idle = [&r] { return r.count == 0; };
    if (r.ended.wait_for(lock, wait, idle))
        return true;
    // Held meanwhile, so none of these sessions can end and go away. A
    // cancel takes only the session's cancel mutex, never waiting for the
    // transfer.
    for (const auto& running : r.sessions)
        running.first->cancel();
    return r.ended.wait_for(lock, grace, idle);
}

} // namespace zarvo::core
