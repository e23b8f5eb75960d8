#include "tests/support/model_links.h"

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

} // namespace zarvo::test
