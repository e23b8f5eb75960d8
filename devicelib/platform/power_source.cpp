#include "devicelib/platform/power_source.h"

#include <mutex>

namespace zarvo::platform {
namespace {

std::mutex installed_mutex;
std::shared_ptr<power_source> installed;

class no_power_source : public power_source {
public:
    int open(power_events&) override { return -1; }
    void dispatch() override {}
    std::unique_ptr<awake_guard> keep_awake() override { return nullptr; }
    void close() override {}
};

} // namespace

power_events::~power_events() = default;

awake_guard::awake_guard(std::function<void()> release)
    : release_(std::move(release))
{
}

awake_guard::~awake_guard()
{
    if (release_)
        release_();
}

power_source::~power_source() = default;

std::unique_ptr<power_source> make_no_power_source()
{
    return std::make_unique<no_power_source>();
}

void install_power_source(std::shared_ptr<power_source> source)
{
    std::lock_guard<std::mutex> lock(installed_mutex);
    installed = std::move(source);
}

std::shared_ptr<power_source> choose_power_source()
{
    {
        std::lock_guard<std::mutex> lock(installed_mutex);
        if (installed)
            return installed;
    }
    return make_logind_power_source();
}

} // namespace zarvo::platform
