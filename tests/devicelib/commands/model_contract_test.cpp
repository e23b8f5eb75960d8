// The connection contract with the device emulator's model as the device
// behind both fake connection kinds. A case's scripted answers become the
// model's own answer script for the exchange they meet, so the model still
// sees and records every exchange; what a case leaves unscripted the model
// answers by itself, from content that holds the files the cases name.
#include "tests/devicelib/core/fake_drivers_registered.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/connection_contract.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_device_drivers.h"
#include "tests/support/fake_listener.h"
#include "tests/support/model_links.h"
#include "tools/emulator/device_model.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <optional>

namespace zarvo::test {
namespace {

emulator::match match_for(const exchange_request& request)
{
    switch (request.kind) {
    case exchange_request::operation:
        return emulator::match::file(static_cast<emulator::command>(request.command), request.path);
    case exchange_request::query:
        return emulator::match::query(request.id);
    case exchange_request::notification:
        break;
    }
    return emulator::match::notification(request.id);
}

// The model, with the rig's queued answers laid over it.
class scripted_model : public exchange_backend {
public:
    explicit scripted_model(std::shared_ptr<emulator::device_model> model)
        : model_(model)
        , inner_(std::move(model))
    {
    }

    void answer(exchange_answer a)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(a));
    }
    void answer_always(exchange_answer a)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        always_ = std::move(a);
    }
    std::vector<exchange_request> requests() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    exchange_answer exchange(const exchange_request& request) override
    {
        std::optional<exchange_answer> scripted;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            if (!queue_.empty()) {
                scripted = queue_.front();
                queue_.pop_front();
            } else if (always_) {
                scripted = always_;
            }
        }
        if (!scripted)
            return inner_.exchange(request);
        model_->script_answer(match_for(request), scripted->code, 1, scripted->payload);
        exchange_answer out = inner_.exchange(request);
        out.stall = scripted->stall;
        return out;
    }

private:
    std::shared_ptr<emulator::device_model> model_;
    model_backend inner_;
    mutable std::mutex mutex_;
    std::deque<exchange_answer> queue_;
    std::optional<exchange_answer> always_;
    std::vector<exchange_request> requests_;
};

std::shared_ptr<emulator::device_model> contract_model(std::uint64_t id)
{
    auto p = emulator::device_profile::usb_device();
    p.id = id;
    auto model = std::make_shared<emulator::device_model>(p);
    for (const char* file : {"/A", "/A.BPB", "/F.BPB", "/M.BPB", "/X", "/X.BPB"})
        model->put_file(file, "content");
    model->make_directory("/D");
    return model;
}

class model_rig : public contract_rig {
public:
    model_rig(contract_kind k, std::uint64_t id)
        : bus_(k == contract_kind::usb ? usb_like_driver::bus() : net_like_driver::bus())
        , id_(id)
        , model_(contract_model(id))
        , backend_(std::make_shared<scripted_model>(model_))
    {
        usb_like_driver::set_plug_in_delay(0);
        fake_device device;
        device.backend = backend_;
        listener_.start();
        bus_.plug(id, device);
        if (listener_.wait_for(callback::established, id))
            session_ = listener_.session_of(id);
    }
    ~model_rig() override
    {
        listener_.stop();
        bus_.unplug(id_);
    }

    bool ready() const { return session_ != nullptr; }
    zarvo::session& session() override { return *session_; }
    void answer(exchange_answer a) override { backend_->answer(std::move(a)); }
    void answer_always(exchange_answer a) override { backend_->answer_always(std::move(a)); }
    std::vector<exchange_request> sent() const override { return backend_->requests(); }
    bool device_notification(int id, const std::string& parameters) override
    {
        return bus_.notify(id_, id, parameters);
    }
    fake_listener& listener() override { return listener_; }
    const emulator::device_model& model() const { return *model_; }

private:
    fake_bus& bus_;
    std::uint64_t id_;
    std::shared_ptr<emulator::device_model> model_;
    std::shared_ptr<scripted_model> backend_;
    fake_listener listener_;
    zarvo::session* session_ = nullptr;
};

class ModelContract : public contract_test {};

TEST_P(ModelContract, Holds)
{
    test_device device;
    model_rig rig(GetParam().kind, device.id());
    ASSERT_TRUE(rig.ready());
    GetParam().c.run(rig);
    // The model saw every exchange the connection sent.
    std::size_t host_lines = 0;
    for (const auto& line : rig.model().transcript())
        host_lines += line.way == emulator::direction::host_to_device;
    EXPECT_EQ(host_lines, rig.sent().size());
}

INSTANTIATE_TEST_SUITE_P(UsbLike, ModelContract,
                         ::testing::ValuesIn(contract_params(contract_kind::usb)),
                         contract_case_name);
INSTANTIATE_TEST_SUITE_P(NetLike, ModelContract,
                         ::testing::ValuesIn(contract_params(contract_kind::net)),
                         contract_case_name);

} // namespace
} // namespace zarvo::test
