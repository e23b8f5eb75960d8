#include "tools/emulator/usb_device.h"

#include "tools/emulator/answers.h"

#include "devicelib/proto/message_io.h"
#include "devicelib/proto/zftp_request.pb.h"

#include <algorithm>
#include <sstream>

namespace zarvo::emulator {
namespace {

constexpr std::size_t report_size = 64;
// Message bytes in one full report after the ring counter.
constexpr std::size_t full_content = 61;

device_answer from_reply(const emulator::reply& r)
{
    if (r.answer == emulator::answer::ok)
        return device_answer::ok(r.payload);
    device_answer answer;
    answer.status = static_cast<std::uint16_t>(r.answer);
    return answer;
}

} // namespace

model_handler::model_handler(emulator::device_model& model)
    : model_(model)
{
}

device_answer model_handler::handle(const host_message& message)
{
    using emulator::exchange_kind;
    device_answer answer;
    switch (message.type) {
    case host_message::kind::operation:
        return operation(message);
    case host_message::kind::query:
        if (take_override(exchange_kind::query, static_cast<int>(message.id), {}, answer))
            return answer;
        return from_reply(model_.query(static_cast<int>(message.id), message.payload));
    case host_message::kind::notification:
        model_.host_notification(static_cast<int>(message.id), message.payload);
        break;
    }
    answer.type = device_answer::kind::none;
    return answer;
}

device_answer model_handler::operation(const host_message& message)
{
    protocol::PbZFtpOperation request;
    std::istringstream in(message.request);
    if (!read_message(in, request)) {
        device_answer refused;
        refused.status = emulator::answer::invalid_parameter;
        return refused;
    }
    device_answer answer;
    if (take_override(emulator::exchange_kind::file_operation, request.command(), request.path(),
                      answer))
        return answer;
    return from_reply(model_.file_operation(request.command(), request.path(), message.payload));
}

void model_handler::answer_once(const emulator::match& m, std::vector<std::string> reports)
{
    std::lock_guard<std::mutex> lock(mutex_);
    overrides_.emplace_back(m, std::move(reports));
}

bool model_handler::take_override(emulator::exchange_kind kind, int code, const std::string& path,
                                  device_answer& answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = overrides_.begin(); it != overrides_.end(); ++it) {
        if (!it->first.matches(kind, code, path))
            continue;
        answer.type = device_answer::kind::raw;
        answer.reports = std::move(it->second);
        overrides_.erase(it);
        return true;
    }
    return false;
}

bool decode_operation(const host_message& message, int& command, std::string& path)
{
    protocol::PbZFtpOperation request;
    std::istringstream in(message.request);
    if (!read_message(in, request))
        return false;
    command = request.command();
    path = request.path();
    return true;
}

std::vector<std::string> cancelled_response(const std::string& partial, std::uint16_t code)
{
    std::vector<std::string> reports;
    std::uint8_t ring = 0;
    // Status 0, then the payload, in reports that announce more.
    const std::string bytes = std::string(2, '\0') + partial;
    for (std::size_t at = 0; !partial.empty() && at < bytes.size(); at += full_content) {
        const std::size_t take = std::min(full_content, bytes.size() - at);
        std::string r(report_size, '\0');
        r[1] = static_cast<char>((take + 1) << 2 | 1);
        r[2] = static_cast<char>(ring++);
        bytes.copy(&r[3], take, at);
        reports.push_back(r);
    }
    // Ring, (status 0 when nothing came before), the code and footer 1.
    std::string last(report_size, '\0');
    std::size_t at = 3;
    if (partial.empty())
        at += 2;
    last[1] = static_cast<char>((at + 3 - 2) << 2);
    last[2] = static_cast<char>(ring);
    last[at] = static_cast<char>(code & 0xFF);
    last[at + 1] = static_cast<char>(code >> 8);
    last[at + 2] = 1;
    reports.push_back(last);
    return reports;
}

// Sends the model's device notifications as notification reports and acts
// on its restarts.
class usb_device::forwarder : public emulator::observer {
public:
    explicit forwarder(usb_device& device)
        : device_(device)
    {
    }

    void device_notification(int id, const std::string& parameters) override
    {
        device_.front_end_.notify(static_cast<std::uint8_t>(id), parameters);
    }

    void factory_reset() override { device_.restart(); }
    void firmware_installed() override { device_.restart(); }

private:
    usb_device& device_;
};

usb_device::usb_device(emulator::device_model& model, std::uint16_t vendor, std::uint16_t product)
    : usb_device(model, vendor, product, model.profile().serial())
{
}

usb_device::usb_device(emulator::device_model& model, std::uint16_t vendor, std::uint16_t product,
                       std::string serial)
    : model_(model)
    , serial_(std::move(serial))
    , handler_(model)
    , front_end_(vendor, product, serial_, handler_)
    , forwarder_(std::make_shared<forwarder>(*this))
{
    model_.add_observer(forwarder_);
}

usb_device::~usb_device()
{
    model_.remove_observer(forwarder_);
}

void usb_device::on_restart(std::function<void()> action)
{
    std::lock_guard<std::mutex> lock(restart_mutex_);
    restart_ = std::move(action);
}

void usb_device::restart()
{
    std::function<void()> action;
    {
        std::lock_guard<std::mutex> lock(restart_mutex_);
        action = restart_;
    }
    if (action)
        front_end_.after_answer(std::move(action));
}

} // namespace zarvo::emulator
