#pragma once

// logind as the power driver sees it, on a test's private bus: it owns
// "org.freedesktop.login1" on a connection and thread of its own, answers
// Inhibit with one end of a pipe (watching the other end for the holder's
// release), can refuse it, and emits PrepareForSleep on request.

#include "devicelib/platform/event.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct DBusConnection;
struct DBusMessage;

namespace zarvo::test {

struct inhibit_call {
    std::string what, who, why, mode;
    // The caller's unique name on the bus.
    std::string caller;
};

class fake_logind {
public:
    // Connects to the bus at address and owns logind's name; throws
    // std::runtime_error when it cannot.
    explicit fake_logind(const std::string& address);
    ~fake_logind();
    fake_logind(const fake_logind&) = delete;
    fake_logind& operator=(const fake_logind&) = delete;

    // Emits PrepareForSleep(before) and returns once it has been sent.
    void prepare_for_sleep(bool before);
    // Answers the following Inhibit calls with an error.
    void set_refuse(bool refuse);
    // Gives up logind's name, as logind ending does, and takes it again, as
    // its restart does; each returns once the bus has answered.
    void release_name();
    void own_name();

    std::vector<inhibit_call> calls() const;
    int inhibit_calls() const;
    // Delay locks handed out whose holder has not let go, looked at now.
    int locks_held() const;
    // The same, of one mode ("delay", "block").
    int locks_held(const std::string& mode) const;
    // Locks whose release was seen, and when.
    std::vector<std::chrono::steady_clock::time_point> releases() const;
    std::string unique_name() const { return unique_name_; }

    // Wait, within the latch limit, until so many calls or releases were
    // seen; false (and a test failure) otherwise.
    bool wait_calls(int n) const;
    bool wait_releases(int n) const;

private:
    void run();
    // Runs f on the fake's thread and returns once it has run.
    void on_thread(std::function<void()> f);
    void handle(DBusMessage* m);
    void answer_inhibit(DBusMessage* m);
    template <typename Predicate>
    bool wait(Predicate p) const;

    DBusConnection* bus_ = nullptr;
    int bus_fd_ = -1;
    std::string unique_name_;
    zarvo::platform::event stop_;
    zarvo::platform::event requests_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<std::packaged_task<void()>> tasks_;
    bool refuse_ = false;
    std::vector<inhibit_call> calls_;
    // The read ends of the pipes handed out and not yet released.
    std::vector<int> watched_;
    // The mode each watched end was handed out for.
    std::map<int, std::string> modes_;
    std::vector<std::chrono::steady_clock::time_point> releases_;
    std::thread thread_;
};

// Another program on the bus: sends PrepareForSleep(before) as logind's
// signal, once to every listener and once to destination directly.
void send_forged_prepare_for_sleep(const std::string& address, const std::string& destination,
                                   bool before);

} // namespace zarvo::test
