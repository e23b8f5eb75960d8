#include "devicelib/usb/hid_device.h"

#include "devicelib/errors/errors.h"
#include "devicelib/helpers/system.h"
#include "devicelib/trace/trace.h"

namespace zarvo::usb {

using platform::transfer_result;
using platform::transfer_status;

hid_device::hid_device(hid_removal_sink* driver, const std::string& path)
    : path_(path)
    , driver_(driver)
    , stop_(std::make_shared<platform::event>())
{
    platform::opened_hid opened = platform::open_hid(path);
    channel_ = std::move(opened.channel);
    identity_ = std::move(opened.identity);
}

hid_device::hid_device(hid_removal_sink* driver, const std::string& path,
                       platform::hid_channel channel, platform::hid_identity identity)
    : path_(path)
    , driver_(driver)
    , channel_(std::move(channel))
    , stop_(std::make_shared<platform::event>())
    , identity_(std::move(identity))
{
}

hid_device::hid_device(const hid_device& other)
    : path_(other.path_)
    , driver_(other.driver_)
    , channel_(other.channel_.duplicate())
    , stop_(other.stop_)
    , identity_(other.identity_)
    , report_timeout_ms_(other.report_timeout_ms_.load())
    , answer_wait_ms_(other.answer_wait_ms_)
    , quiet_ms_(other.quiet_ms_)
{
}

hid_device::~hid_device()
{
    close();
}

void hid_device::close()
{
    // The thread reads the descriptor; it must be gone before it closes.
    stop_thread();
    channel_.close();
}

hid_device::notification_lock::notification_lock(hid_device& device)
    : device_(device)
{
    device_.pause_.acquire();
}

hid_device::notification_lock::~notification_lock()
{
    device_.pause_.release();
}

transfer_result hid_device::read_report(std::uint8_t* report, int timeout_ms)
{
    return channel_.read(report, timeout_ms, *stop_);
}

transfer_result hid_device::write_report(const std::uint8_t* report, int timeout_ms)
{
    return channel_.write(report, timeout_ms, *stop_);
}

transfer_result hid_device::wait_report(std::uint8_t* report)
{
    return channel_.read(report, -1, *stop_, &pause_.wake());
}

void hid_device::start_notification_thread(hid_notification_sink* owner)
{
    if (thread_.joinable())
        return;
    owner_ = owner;
    pause_.start();
    thread_ = std::thread(&hid_device::main, this);
}

void hid_device::stop_thread()
{
    if (!thread_.joinable())
        return;
    stop_->set();
    thread_.join();
    owner_ = nullptr;
}

void hid_device::report_removal()
{
    if (removal_reported_.exchange(true))
        return;
    if (driver_)
        driver_->report_removal(*this);
}

void hid_device::fail_sending(const transfer_result& result)
{
    switch (result.status) {
    case transfer_status::aborted:
        throw link_lost();
    case transfer_status::gone:
        report_removal();
        throw link_lost();
    case transfer_status::timed_out:
        throw operation_timed_out();
    default:
        ZARVO_TRACE("zarvo::usb::hid_device::fail_sending",
                    "Unhandled win32 error %lu. Inflicting link lost.",
                    static_cast<unsigned long>(result.error));
        report_removal();
        throw link_lost();
    }
}

void hid_device::fail_receiving(const transfer_result& result)
{
    // Only "any other" differs from sending.
    if (result.status == transfer_status::failed || result.status == transfer_status::paused)
        throw invalid_function();
    fail_sending(result);
}

void hid_device::main()
{
    pause_.bind_reader();
    for (;;) {
        report in{};
        transfer_result result = wait_report(in.data());
        if (result.ok()) {
            if (!(in[1] & 0x02)) {
                ZARVO_TRACE("zarvo::usb::hid_device::main",
                            "Got response frame, expected notification frame. Response frame "
                            "discarded, another process is performing operation.");
                continue;
            }
            result = reassemble_notification(in);
            if (result.ok())
                continue;
        }
        if (result.status == transfer_status::paused) {
            pause_.park();
            continue;
        }
        if (result.status == transfer_status::timed_out) {
            ZARVO_TRACE("zarvo::usb::hid_device::main",
                        "Device is not responding fast enough. Notification lost.");
            continue;
        }
        if (result.status == transfer_status::gone) {
            // A device that hung up while its node or socket file stays is
            // announced by nobody else: withdrawn now, as for an unplugging,
            // not at the next exchange. A removal announced as well finds it
            // withdrawn already.
            report_removal();
        } else if (result.status != transfer_status::aborted) {
            std::string text;
            system::error_message(result.error, text);
            ZARVO_TRACE("zarvo::usb::hid_device::main",
                        "Device is not functioning properly due to error %d: %s", result.error,
                        text.c_str());
            report_removal();
        }
        break;
    }
    pause_.end();
}

} // namespace zarvo::usb
