#include "devicelib/core/interface.h"

#include "devicelib/core/driver_messages.h"
#include "devicelib/core/engine.h"
#include "devicelib/core/thread_group.h"

namespace zarvo::core {

void interrupt_threads(thread_set& s, disposer::completion done)
{
    auto group = std::make_unique<thread_group>();
    group->take(s);
    group->interrupt_all();
    dispose_threads(std::move(group), std::move(done));
}

void dispose_threads(std::unique_ptr<thread_group> g, disposer::completion done)
{
    engine::instance().thread_disposer().dispose(std::move(g), std::move(done));
}

void post_start_drivers()
{
    engine::instance().post(std::make_unique<start_drivers>());
}

void post_stop_drivers()
{
    engine::instance().post(std::make_unique<stop_drivers>());
}

bool post_suspend_drivers(boost::mutex& m, boost::condition_variable& c)
{
    engine& e = engine::instance();
    auto message = std::make_unique<suspend_drivers>(&m, &c);
    if (!e.interface_gate().close())
        return false;
    if (!e.post_if_running(std::move(message))) {
        e.interface_gate().reopen();
        return false;
    }
    return true;
}

void post_resume_drivers(boost::mutex& m, boost::condition_variable& c)
{
    engine& e = engine::instance();
    struct reopen_gate {
        gate& g;
        ~reopen_gate() { g.reopen(); }
    } reopen{e.interface_gate()};
    e.post(std::make_unique<resume_drivers>(&m, &c));
}

} // namespace zarvo::core
