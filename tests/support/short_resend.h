#pragma once

#include "devicelib/core/resend.h"

#include <chrono>

namespace zarvo::test {

// Shortens the bounded resend for the life of the object, so that a device
// stuck on "busy" gives up within a test's time.
class short_resend {
public:
    explicit short_resend(std::chrono::milliseconds budget,
                          std::chrono::milliseconds max_pause = std::chrono::milliseconds(5))
        : saved_(zarvo::core::resend_settings())
    {
        zarvo::core::resend_timing t;
        t.budget = budget;
        t.first_pause = std::chrono::milliseconds(1);
        t.max_pause = max_pause;
        zarvo::core::set_resend_settings(t);
    }
    ~short_resend() { zarvo::core::set_resend_settings(saved_); }
    short_resend(const short_resend&) = delete;
    short_resend& operator=(const short_resend&) = delete;

private:
    zarvo::core::resend_timing saved_;
};

} // namespace zarvo::test
