// Apart from the other model links: it needs the fake drivers' bus, which
// only tests linked with the static library can reach.
#include "tests/support/fake_device_drivers.h"
#include "tests/support/model_links.h"

namespace zarvo::test {

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
