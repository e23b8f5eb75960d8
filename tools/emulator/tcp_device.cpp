#include "tools/emulator/tcp_device.h"

namespace zarvo::emulator {

class tcp_device::forwarder : public emulator::observer {
public:
    explicit forwarder(tcp_front_end& front_end)
        : front_end_(front_end)
    {
    }

    void device_notification(int id, const std::string& parameters) override
    {
        front_end_.notify(static_cast<std::uint8_t>(id), parameters);
    }

private:
    tcp_front_end& front_end_;
};

tcp_device::tcp_device(emulator::device_model& model, const std::string& address)
    : model_(model)
    , handler_(model)
    , front_end_(model.profile().serial(), handler_, address)
    , forwarder_(std::make_shared<forwarder>(front_end_))
{
    model_.add_observer(forwarder_);
}

tcp_device::~tcp_device()
{
    model_.remove_observer(forwarder_);
}

} // namespace zarvo::emulator
