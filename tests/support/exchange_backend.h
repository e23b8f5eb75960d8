#pragma once

#include "tests/support/latch.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace zarvo::test {

// What a fake connection sends to its device.
struct exchange_request {
    enum kind_t { operation, query, notification };
    kind_t kind = operation;
    int command = -1;    // operation: GET 0, PUT 1, MERGE 2, REMOVE 3
    std::string path;    // operation
    int id = -1;         // query or notification
    std::string payload; // operation payload, or the serialized parameters
};

// The device's answer. A stalled answer holds the exchange until the latch is
// opened or the connection is cancelled.
struct exchange_answer {
    int code = 0;
    std::string payload;
    const latch* stall = nullptr;
};

// The device behind a fake connection kind: a script here, a device model
// elsewhere. Called on the thread that runs the exchange.
class exchange_backend {
public:
    virtual ~exchange_backend();
    virtual exchange_answer exchange(const exchange_request& request) = 0;
};

// Answers from a queue, then with the default answer (0, no payload), and
// records every request.
class scripted_backend : public exchange_backend {
public:
    void answer(exchange_answer a);
    void answer(int code, std::string payload = {});
    // Used once the queue is empty.
    void set_default(exchange_answer a);
    std::vector<exchange_request> requests() const;
    void clear();

    exchange_answer exchange(const exchange_request& request) override;

private:
    mutable std::mutex mutex_;
    std::deque<exchange_answer> queue_;
    exchange_answer default_;
    std::vector<exchange_request> requests_;
};

} // namespace zarvo::test
