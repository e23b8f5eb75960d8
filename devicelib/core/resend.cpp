#include "devicelib/core/resend.h"

#include "devicelib/errors/device_errors.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace zarvo::core {
namespace {

constexpr int busy = 2;

std::atomic<long long> budget_ms{resend_timing{}.budget.count()};
std::atomic<long long> first_pause_ms{resend_timing{}.first_pause.count()};
std::atomic<long long> max_pause_ms{resend_timing{}.max_pause.count()};

bool resend_on(int answer, std::initializer_list<int> also)
{
    return answer == busy || std::find(also.begin(), also.end(), answer) != also.end();
}

} // namespace

resend_timing resend_settings()
{
    resend_timing t;
    t.budget = std::chrono::milliseconds(budget_ms.load());
    t.first_pause = std::chrono::milliseconds(first_pause_ms.load());
    t.max_pause = std::chrono::milliseconds(max_pause_ms.load());
    return t;
}

void set_resend_settings(const resend_timing& timing)
{
    budget_ms = timing.budget.count();
    first_pause_ms = timing.first_pause.count();
    max_pause_ms = timing.max_pause.count();
}

int resend_while_busy(const std::function<int()>& exchange, std::initializer_list<int> also)
{
    using clock = std::chrono::steady_clock;
    const resend_timing timing = resend_settings();
    const auto deadline = clock::now() + timing.budget;
    auto pause = timing.first_pause;
    for (;;) {
        const int answer = exchange();
        if (!resend_on(answer, also))
            return answer;
        if (clock::now() + pause > deadline)
            throw try_again();
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, timing.max_pause);
    }
}

} // namespace zarvo::core
