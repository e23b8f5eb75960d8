#pragma once

// The connection contract: what a session sees of each connection kind, as
// one table of cases per kind. A rig supplies a session whose only
// connection is of that kind and lets a case script the device's answers and
// read the exchanges sent. The fake kinds run it over a scripted back-end;
// other rigs (a device model, the real transports) run the same tables.

#include "tests/support/exchange_backend.h"
#include "tests/support/short_resend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace zarvo {
class session;
}

namespace zarvo::test {

class fake_listener;

class contract_rig {
public:
    virtual ~contract_rig();

    // Established, with one connection of the rig's kind.
    virtual zarvo::session& session() = 0;
    // The device's next answer, then (once the queue is empty) the default.
    virtual void answer(exchange_answer a) = 0;
    virtual void answer_always(exchange_answer a) = 0;
    virtual std::vector<exchange_request> sent() const = 0;
    // A device-to-host notification arriving on the connection.
    virtual bool device_notification(int id, const std::string& parameters) = 0;
    // The listener attached to the session, to see device events.
    virtual fake_listener& listener() = 0;
    // Makes the device refuse every host notification of several reports
    // with code (0: accept them again). False when the rig's device cannot
    // refuse a notification.
    virtual bool refuse_long_notifications(int code);

    void answer(int code, std::string payload = {});
};

struct contract_case {
    std::string name;
    std::function<void(contract_rig&)> run;
};

std::vector<contract_case> usb_contract();
std::vector<contract_case> net_contract();

// One case of one kind's table, as a test parameter.
enum class contract_kind { usb, net };
struct contract_param {
    contract_kind kind;
    contract_case c;
};
void PrintTo(const contract_param& p, std::ostream* os);
// The kind's table.
std::vector<contract_param> contract_params(contract_kind kind);
std::string contract_case_name(const ::testing::TestParamInfo<contract_param>& info);

// Runs a rig's cases with the resends shortened, so the busy cases end soon.
class contract_test : public ::testing::TestWithParam<contract_param> {
protected:
    short_resend resend_{std::chrono::seconds(2)};
};

} // namespace zarvo::test
