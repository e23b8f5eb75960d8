#include "tests/support/model_links.h"

#include "tests/support/fake_device_drivers.h"

namespace zarvo::test {

// model_backend

model_backend::model_backend(std::shared_ptr<emulator::device_model> model)
    : model_(std::move(model))
{
}

exchange_answer model_backend::exchange(const exchange_request& request)
{
    exchange_answer out;
    switch (request.kind) {
    case exchange_request::operation: {
        const auto r = model_->file_operation(request.command, request.path, request.payload);
        out.code = r.answer;
        out.payload = r.payload;
        break;
    }
    case exchange_request::query: {
        const auto r = model_->query(request.id, request.payload);
        out.code = r.answer;
        out.payload = r.payload;
        break;
    }
    case exchange_request::notification:
        out.code = model_->host_notification(request.id, request.payload);
        break;
    }
    return out;
}

// model_link

// Forwards to the connection until detached; a detach waits for a forward
// that is running, so the connection can go right after.
class model_link::forwarder : public emulator::observer {
public:
    explicit forwarder(fake_link* link)
        : link_(link)
    {
    }

    void device_notification(int id, const std::string& parameters) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (link_)
            link_->device_notification(id, parameters);
    }

    void detach()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        link_ = nullptr;
    }

private:
    std::mutex mutex_;
    fake_link* link_;
};

namespace {

fake_link* make_link(link_kind kind, std::uint64_t id, std::shared_ptr<exchange_backend> backend,
                     std::shared_ptr<connection_probe> probe)
{
    if (kind == link_kind::usb_like)
        return new usb_like_connection(id, std::move(backend), std::move(probe));
    return new net_like_connection(id, std::move(backend), std::move(probe));
}

} // namespace

model_link::model_link(link_kind kind, std::shared_ptr<emulator::device_model> model,
                       std::shared_ptr<connection_probe> probe)
    : model_(std::move(model))
    , link_(make_link(kind, model_->profile().id, std::make_shared<model_backend>(model_),
                      std::move(probe)))
    , forwarder_(std::make_shared<forwarder>(link_.get()))
{
    model_->add_observer(forwarder_);
}

model_link::~model_link()
{
    model_->remove_observer(forwarder_);
    forwarder_->detach();
}

// model_on_bus

class model_on_bus::forwarder : public emulator::observer {
public:
    forwarder(fake_bus& bus, std::uint64_t id)
        : bus_(bus)
        , id_(id)
    {
    }

    void device_notification(int id, const std::string& parameters) override
    {
        bus_.notify(id_, id, parameters);
    }

private:
    fake_bus& bus_;
    std::uint64_t id_;
};

model_on_bus::model_on_bus(fake_bus& bus, std::shared_ptr<emulator::device_model> model,
                           std::shared_ptr<connection_probe> probe)
    : bus_(bus)
    , model_(std::move(model))
    , id_(model_->profile().id)
    , probe_(std::move(probe))
    , forwarder_(std::make_shared<forwarder>(bus_, id_))
{
    model_->add_observer(forwarder_);
    fake_device device;
    device.backend = std::make_shared<model_backend>(model_);
    device.probe = probe_;
    bus_.plug(id_, device);
}

model_on_bus::~model_on_bus()
{
    model_->remove_observer(forwarder_);
    unplug();
}

void model_on_bus::unplug()
{
    if (!plugged_)
        return;
    plugged_ = false;
    bus_.unplug(id_);
}

} // namespace zarvo::test
