#include "tests/support/fake_links.h"

#include "devicelib/core/listing.h"
#include "devicelib/core/posting.h"
#include "devicelib/core/resend.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/message_io.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "devicelib/trace/trace.h"
#include "tests/support/answer_errors.h"

#include <chrono>
#include <sstream>
#include <thread>

namespace zarvo::test {
namespace {

enum command { get_command = 0, put_command = 1, merge_command = 2, remove_command = 3 };
constexpr int disk_space_query = 5;

void note(const std::shared_ptr<connection_probe>& probe, bool withdrawal)
{
    if (!probe)
        return;
    std::lock_guard<std::mutex> lock(probe->mutex);
    if (withdrawal) {
        probe->withdrawn_on.push_back(std::this_thread::get_id());
        ++probe->withdrawn;
    } else {
        probe->destroyed_on.push_back(std::this_thread::get_id());
        ++probe->destroyed;
    }
}

zarvo::disk_space parse_disk_space(const std::string& payload)
{
    protocol::PbZFtpDiskSpaceResult result;
    std::istringstream in(payload);
    if (!zarvo::read_message(in, result))
        throw zarvo::bad_response("Failed to parse disk space information.");
    return zarvo::disk_space(result.fragment_size(), result.total_fragments(),
                             result.free_fragments());
}

exchange_request message_request(exchange_request::kind_t kind, int id, std::string payload)
{
    exchange_request r;
    r.kind = kind;
    r.id = id;
    r.payload = std::move(payload);
    return r;
}

} // namespace

std::string directory_request_path(const std::string& path)
{
    return path == "/" ? path : path + "/";
}

// fake_link

fake_link::fake_link(std::uint64_t id, std::shared_ptr<exchange_backend> backend,
                     std::shared_ptr<connection_probe> probe)
    : id_(id)
    , backend_(std::move(backend))
    , probe_(std::move(probe))
{
}

fake_link::~fake_link()
{
    note(probe_, false);
}

void fake_link::withdrawn()
{
    note(probe_, true);
}

exchange_answer fake_link::run(const exchange_request& request)
{
    exchange_answer a = backend_->exchange(request);
    if (!a.stall)
        return a;
    const auto limit = std::chrono::steady_clock::now() + latch::default_limit;
    while (!a.stall->is_open()) {
        if (take_abort())
            throw zarvo::operation_canceled();
        if (std::chrono::steady_clock::now() > limit)
            throw zarvo::operation_timed_out();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return a;
}

exchange_request fake_link::operation(int command, const std::string& path, std::string payload)
{
    exchange_request r;
    r.kind = exchange_request::operation;
    r.command = command;
    r.path = path;
    r.payload = std::move(payload);
    return r;
}

std::string fake_link::take(std::istream& in)
{
    std::string bytes;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (in.bad() || !in.eof())
        throw zarvo::stream_failure();
    return bytes;
}

void fake_link::put(std::ostream& out, const std::string& bytes)
{
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out)
        throw zarvo::stream_failure();
}

// usb_like_connection

usb_like_connection::usb_like_connection(std::uint64_t id,
                                         std::shared_ptr<exchange_backend> backend,
                                         std::shared_ptr<connection_probe> probe)
    : fake_link(id, std::move(backend), std::move(probe))
{
}

bool usb_like_connection::transport(std::string& name)
{
    name = "HID";
    return true;
}

bool usb_like_connection::family(std::string& name)
{
    name.clear();
    return true;
}

bool usb_like_connection::take_abort()
{
    return cancel_;
}

exchange_answer usb_like_connection::exchange(const exchange_request& request)
{
    // A cancel request stays until reset_cancel and fails every exchange at
    // its start, which also ends a resend loop.
    if (cancel_)
        throw zarvo::operation_canceled();
    return run(request);
}

bool usb_like_connection::refusable(int command, const boost::filesystem::path& p, int refusal,
                                    const char* name, std::set<zarvo::entry>* listing)
{
    const std::string path = p.string();
    const bool directory = command == get_command || command == put_command;
    const auto request = operation(command, directory ? directory_request_path(path) : path);
    exchange_answer a;
    const int code = zarvo::core::resend_while_busy([&] {
        a = exchange(request);
        return a.code;
    });
    if (code == 0) {
        if (listing) {
            std::istringstream in(a.payload);
            if (!zarvo::core::insert_listing(in, *listing))
                throw zarvo::bad_response("Failed to parse directory information.");
        }
        return true;
    }
    if (code == refusal)
        return false;
    raise_usb_answer(code, path, name);
    throw zarvo::invalid_function();
}

void usb_like_connection::transfer(int command, const boost::filesystem::path& file,
                                   const char* name, std::string payload, std::ostream* out)
{
    const exchange_answer a = exchange(operation(command, file.string(), std::move(payload)));
    if (a.code == 0) {
        if (out)
            put(*out, a.payload);
        return;
    }
    raise_usb_answer(a.code, file.string(), name);
}

zarvo::disk_space usb_like_connection::disk_space()
{
    exchange_answer a;
    const int code = zarvo::core::resend_while_busy([&] {
        a = exchange(message_request(exchange_request::query, disk_space_query, {}));
        return a.code;
    });
    if (code != 0) {
        raise_usb_answer(code, "", "GET_DISK_SPACE");
        throw zarvo::invalid_function();
    }
    return parse_disk_space(a.payload);
}

bool usb_like_connection::fetch(const boost::filesystem::path& directory,
                                std::set<zarvo::entry>& entries)
{
    return refusable(get_command, directory, 105, "GET", &entries);
}

bool usb_like_connection::create(const boost::filesystem::path& directory)
{
    return refusable(put_command, directory, 104, "PUT", nullptr);
}

bool usb_like_connection::remove(const boost::filesystem::path& p)
{
    return refusable(remove_command, p, 103, "REMOVE", nullptr);
}

void usb_like_connection::read(const boost::filesystem::path& file, std::ostream& content)
{
    transfer(get_command, file, "GET", {}, &content);
}

void usb_like_connection::write(const boost::filesystem::path& file, std::istream& content)
{
    transfer(put_command, file, "PUT", take(content), nullptr);
}

void usb_like_connection::merge(const boost::filesystem::path& file, std::istream& content)
{
    transfer(merge_command, file, "MERGE", take(content), nullptr);
}

void usb_like_connection::cancel()
{
    cancel_ = true;
}

void usb_like_connection::reset_cancel()
{
    cancel_ = false;
}

int usb_like_connection::query(int id, std::istream& parameters, std::ostream& result)
{
    if (id < 0 || id > 32767)
        throw zarvo::invalid_parameter("id");
    const exchange_answer a =
        exchange(message_request(exchange_request::query, id, take(parameters)));
    put(result, a.payload);
    return a.code;
}

int usb_like_connection::notify(int id, std::istream& parameters)
{
    if (id < 0 || id > 255)
        throw zarvo::invalid_parameter("id");
    // USB notifications are not answered.
    exchange(message_request(exchange_request::notification, id, take(parameters)));
    return 0;
}

bool usb_like_connection::device_notification(int id, const std::string& parameters)
{
    std::istringstream in(parameters);
    switch (id) {
    case 0: {
        protocol::PbZFtpFilesystemModifiedParams params;
        if (zarvo::read_message(in, params))
            ZARVO_TRACE("zarvo::test::usb_like_connection::device_notification",
                        "FIXME: implement.");
        return true;
    }
    case 1:
        return true;
    case 2:
        zarvo::core::post_device_idle(device_id());
        return true;
    case 3: {
        protocol::PbZFtpBatteryStatus status;
        if (zarvo::read_message(in, status))
            zarvo::core::post_battery_status_change(device_id(),
                                                    static_cast<int>(status.battery_status()));
        return true;
    }
    case 7:
        zarvo::core::post_sync_required(device_id());
        return true;
    default:
        ZARVO_TRACE("zarvo::test::usb_like_connection::device_notification",
                    "Unidentified HID notification id %lu.", static_cast<unsigned long>(id));
        ZARVO_TRACE("zarvo::test::usb_like_connection::device_notification",
                    "Failed to handle HID notification.");
        return false;
    }
}

// net_like_connection

net_like_connection::net_like_connection(std::uint64_t id,
                                         std::shared_ptr<exchange_backend> backend,
                                         std::shared_ptr<connection_probe> probe)
    : fake_link(id, std::move(backend), std::move(probe))
{
}

bool net_like_connection::transport(std::string& name)
{
    name = "TCP";
    return true;
}

bool net_like_connection::family(std::string& name)
{
    name = "Dorvane";
    return true;
}

bool net_like_connection::take_abort()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const bool abort = abort_;
    abort_ = false;
    return abort;
}

void net_like_connection::check_cancelled()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_) {
        cancelled_ = false;
        throw zarvo::bad_response("cancelled!");
    }
}

exchange_answer net_like_connection::file_operation(int command, const std::string& path,
                                                    const std::string& request_path,
                                                    std::istream* payload)
{
    check_cancelled();
    exchange_answer a =
        run(operation(command, request_path, payload ? take(*payload) : std::string()));
    if (a.code != 0)
        raise_net_answer(a.code, path);
    return a;
}

zarvo::disk_space net_like_connection::disk_space()
{
    const exchange_answer a = run(message_request(exchange_request::query, disk_space_query, {}));
    if (a.code != 0) {
        raise_net_answer(a.code, "GET_DISK_SPACE");
        throw zarvo::invalid_function();
    }
    return parse_disk_space(a.payload);
}

bool net_like_connection::fetch(const boost::filesystem::path& directory,
                                std::set<zarvo::entry>& entries)
{
    const std::string path = directory.string();
    const exchange_answer a =
        file_operation(get_command, path, directory_request_path(path), nullptr);
    if (a.code == 0) {
        std::istringstream in(a.payload);
        if (!zarvo::core::insert_listing(in, entries))
            throw zarvo::invalid_parameter();
    }
    return true;
}

bool net_like_connection::create(const boost::filesystem::path& directory)
{
    const std::string path = directory.string();
    file_operation(put_command, path, directory_request_path(path), nullptr);
    return true;
}

bool net_like_connection::remove(const boost::filesystem::path& p)
{
    file_operation(remove_command, p.string(), p.string(), nullptr);
    return true;
}

void net_like_connection::read(const boost::filesystem::path& file, std::ostream& content)
{
    const exchange_answer a = file_operation(get_command, file.string(), file.string(), nullptr);
    if (a.code == 0)
        put(content, a.payload);
}

void net_like_connection::write(const boost::filesystem::path& file, std::istream& content)
{
    file_operation(put_command, file.string(), file.string(), &content);
}

void net_like_connection::merge(const boost::filesystem::path& file, std::istream& content)
{
    file_operation(merge_command, file.string(), file.string(), &content);
}

void net_like_connection::cancel()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!cancelled_) {
        cancelled_ = true;
        abort_ = true;
    }
}

void net_like_connection::reset_cancel()
{
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = false;
    abort_ = false;
}

int net_like_connection::query(int id, std::istream& parameters, std::ostream& result)
{
    const exchange_answer a = run(message_request(exchange_request::query, id, take(parameters)));
    put(result, a.payload);
    return a.code;
}

int net_like_connection::notify(int id, std::istream& parameters)
{
    return run(message_request(exchange_request::notification, id, take(parameters))).code;
}

bool net_like_connection::device_notification(int id, const std::string&)
{
    if (id != 2)
        return false;
    zarvo::core::post_device_idle(device_id());
    return true;
}

} // namespace zarvo::test
