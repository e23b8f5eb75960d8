#pragma once

// Records a driver's publications and withdrawals in order, for the driver
// suites that do without the core.

#include "devicelib/core/connection.h"
#include "devicelib/core/connection_poster.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

namespace zarvo::test {

struct post_record {
    bool publish = true; // false: withdraw
    std::uint64_t id = 0;
    core::connection* c = nullptr;
    unsigned delay = 0; // publish only
};
bool operator==(const post_record& a, const post_record& b);
std::ostream& operator<<(std::ostream& out, const post_record& r);

// It keeps every published connection alive until it goes itself, so a test
// may still call one after its withdrawal.
class recording_poster : public core::connection_poster {
public:
    ~recording_poster() override;

    void publish(std::uint64_t id, core::connection* c, unsigned delay_ms) override;
    void withdraw(std::uint64_t id, core::connection* c) override;

    std::vector<post_record> posts() const;
    // Waits until count posts were made; fails the test after a limit.
    bool wait_posts(std::size_t count) const;
    // The connection last published under id, null when none.
    core::connection* connection(std::uint64_t id) const;
    // Ends the published connections now (before what they talk to goes).
    void clear();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<post_record> posts_;
    std::vector<std::unique_ptr<core::connection>> owned_;
};

post_record published(std::uint64_t id, unsigned delay);
post_record withdrawn(std::uint64_t id);

} // namespace zarvo::test
