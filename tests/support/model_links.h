#pragma once

#include "tests/support/exchange_backend.h"
#include "tests/support/fake_connection.h"
#include "tests/support/fake_links.h"
#include "tools/emulator/device_model.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace zarvo::test {

class fake_bus;

// Makes a device model the device behind the fake connection kinds: file
// operations, queries and host notifications go to the model, and its
// answers come back. The model's own stalls hold the exchange inside it.
class model_backend : public exchange_backend {
public:
    explicit model_backend(std::shared_ptr<emulator::device_model> model);

    exchange_answer exchange(const exchange_request& request) override;

private:
    std::shared_ptr<emulator::device_model> model_;
};

enum class link_kind { usb_like, net_like };

// A model-backed fake connection that the test owns, for a core session made
// by hand. While it lives, the model's device notifications reach the
// connection's dispatch.
class model_link {
public:
    model_link(link_kind kind, std::shared_ptr<emulator::device_model> model,
               std::shared_ptr<connection_probe> probe = {});
    ~model_link();
    model_link(const model_link&) = delete;
    model_link& operator=(const model_link&) = delete;

    fake_link& connection() { return *link_; }
    emulator::device_model& model() { return *model_; }

private:
    class forwarder;

    std::shared_ptr<emulator::device_model> model_;
    std::unique_ptr<fake_link> link_;
    std::shared_ptr<forwarder> forwarder_;
};

// The model as a device on a fake driver's bus (usb_like_driver::bus() or
// net_like_driver::bus()): the driver publishes a model-backed connection of
// its kind, under the profile's id, and the model's device notifications go
// to whichever connection the bus has published for it. Unplugs on
// destruction.
class model_on_bus {
public:
    model_on_bus(fake_bus& bus, std::shared_ptr<emulator::device_model> model,
                 std::shared_ptr<connection_probe> probe = std::make_shared<connection_probe>());
    ~model_on_bus();
    model_on_bus(const model_on_bus&) = delete;
    model_on_bus& operator=(const model_on_bus&) = delete;

    std::uint64_t id() const { return id_; }
    const std::shared_ptr<connection_probe>& probe() const { return probe_; }
    // The device goes away; its connection is withdrawn.
    void unplug();

private:
    class forwarder;

    fake_bus& bus_;
    std::shared_ptr<emulator::device_model> model_;
    std::uint64_t id_;
    std::shared_ptr<connection_probe> probe_;
    std::shared_ptr<forwarder> forwarder_;
    bool plugged_ = true;
};

} // namespace zarvo::test
