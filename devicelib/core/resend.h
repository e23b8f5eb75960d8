#pragma once

#include "devicelib/export.h"

#include <chrono>
#include <functional>
#include <initializer_list>

namespace zarvo::core {

// Runs exchange, which returns the device's answer code, and runs it again
// while the device answers 2 ("busy, ask again") or one of the further
// answers in also. Between sends it pauses a few milliseconds, growing up to
// about 100 ms, and it gives up after about 30 s in all with zarvo::try_again.
// Returns the first other answer. Whatever the exchange throws (a link
// failure, zarvo::operation_canceled after a cancel) ends it at once.
ZARVO_EXPORT int resend_while_busy(const std::function<int()>& exchange,
                                   std::initializer_list<int> also = {});

// The resend's timing; tests shorten it.
struct resend_timing {
    std::chrono::milliseconds budget{30000};
    std::chrono::milliseconds first_pause{2};
    std::chrono::milliseconds max_pause{100};
};
resend_timing resend_settings();
void set_resend_settings(const resend_timing& timing);

} // namespace zarvo::core
