#include "tests/support/core_snapshot.h"

#include "devicelib/core/core_session.h"
#include "devicelib/core/engine.h"
#include "devicelib/core/session_messages.h"

namespace zarvo::test {
namespace {

class snapshot_query : public zarvo::core::query {
public:
    void execute(zarvo::core::engine&, zarvo::core::listener_map& listeners,
                 zarvo::core::session_map& sessions) override
    {
        for (const auto& [l, threads] : listeners)
            result.listener_threads[l] = threads.size();
        for (const auto& [id, s] : sessions) {
            result.sessions[id] = s;
            result.session_threads[id] = s->threads().size();
            result.session_connections[id] = s->connection_count();
        }
        result.live_sessions = zarvo::core::live_sessions();
    }

    core_snapshot result;
};

} // namespace

core_snapshot take_snapshot()
{
    snapshot_query q;
    zarvo::core::engine::instance().send(q);
    q.wait();
    return q.result;
}

} // namespace zarvo::test
