// Holds device locks in a process of its own, for tests and benchmarks of the
// cross-process lock. Reads one command per line on standard input and
// answers one line on standard output:
//   hold <id>        held | busy | denied | error <text>
//   hold <id> wait   held, once the device lock is free
//   release [timed]  released, or "released <ns>" with the monotonic clock read
//                    just before the release | nothing (no hold)
//   exit             bye
// Each hold is a zarvo::session_lock on a zarvo::core::session of the device.
#include "devicelib/core/core_session.h"
#include "devicelib/core/session_lock.h"
#include "devicelib/errors/errors.h"

#include <cstdint>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

long long monotonic_ns()
{
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

std::string hold(std::unique_ptr<zarvo::core::session>& session, std::uint64_t id,
                 std::uint32_t flags, std::vector<std::unique_ptr<zarvo::session_lock>>& holds)
{
    if (!session)
        session = std::make_unique<zarvo::core::session>(id);
    try {
        holds.push_back(std::make_unique<zarvo::session_lock>(*session, flags));
        return "held";
    } catch (const zarvo::system_busy&) {
        return "busy";
    } catch (const zarvo::insufficient_permissions&) {
        return "denied";
    } catch (const std::exception& e) {
        return std::string("error ") + e.what();
    }
}

} // namespace

int main()
{
    std::map<std::uint64_t, std::unique_ptr<zarvo::core::session>> sessions;
    std::vector<std::unique_ptr<zarvo::session_lock>> holds;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        std::string option;
        words >> command;
        if (command == "hold") {
            std::uint64_t id = 0;
            words >> id >> option;
            std::uint32_t flags = option == "wait" ? zarvo::session_lock::wait : 0;
            std::cout << hold(sessions[id], id, flags, holds) << std::endl;
        } else if (command == "release") {
            words >> option;
            if (holds.empty()) {
                std::cout << "nothing" << std::endl;
                continue;
            }
            long long before = monotonic_ns();
            holds.pop_back();
            if (option == "timed")
                std::cout << "released " << before << std::endl;
            else
                std::cout << "released" << std::endl;
        } else if (command == "exit") {
            holds.clear();
            std::cout << "bye" << std::endl;
            return 0;
        } else {
            std::cout << "error unknown command" << std::endl;
        }
    }
    return 0;
}
