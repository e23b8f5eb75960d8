#include "devicelib/usb/hid_connection.h"

#include "devicelib/core/listing.h"
#include "devicelib/core/resend.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/message_io.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "devicelib/core/device_id.h"
#include "devicelib/usb/hid_answers.h"
#include "devicelib/usb/hid_driver.h"

#include <sstream>

namespace zarvo::usb {
namespace {

using operation = protocol::PbZFtpOperation;

// The answers that refuse a directory operation without an error.
constexpr int path_is_file = 105;
constexpr int directory_exists_answer = 104;
constexpr int no_such_entry = 103;

const char* command_name(int command)
{
    switch (command) {
    case operation::GET:
        return "GET";
    case operation::PUT:
        return "PUT";
    case operation::MERGE:
        return "MERGE";
    default:
        return "REMOVE";
    }
}

// The request of one send: the whole operation message in a fresh stream.
void write_request(std::stringstream& request, int command, const std::string& path)
{
    operation message;
    message.set_command(static_cast<operation::Command>(command));
    message.set_path(path);
    if (!write_message(message, request))
        throw stream_failure();
}

// A directory's request path carries a trailing "/", except the root's.
std::string directory_path(const std::string& path)
{
    return path == "/" ? path : path + "/";
}

} // namespace

hid_connection::hid_connection(hid_driver* driver, const hid_device& device)
    : driver_(driver)
    , removal_(driver ? driver->removal() : nullptr)
    , device_(device)
{
    device_.start_notification_thread(this);
}

hid_connection::~hid_connection()
{
    device_.stop_thread();
    device_.close();
}

std::uint64_t hid_connection::device_id() const
{
    return core::device_id_from_serial(device_.serial_number());
}

bool hid_connection::transport(std::string& name)
{
    name = "HID";
    return true;
}

bool hid_connection::family(std::string& name)
{
    name.clear();
    return true;
}

bool hid_connection::refusable(int command, const boost::filesystem::path& p, int refusal,
                               std::string* listing)
{
    const std::string path = p.string();
    const std::string request_path = command == operation::REMOVE ? path : directory_path(path);
    std::string received;
    // A device that keeps answering 2 would hold the session for ever: the
    // resend is bounded, and each send tests the cancel request first.
    const int answer = core::resend_while_busy([&] {
        std::stringstream request;
        write_request(request, command, request_path);
        std::stringstream response;
        int result;
        if (command == operation::GET) {
            result = device_.download(request, response, cancel_);
        } else {
            std::istringstream empty;
            result = device_.upload(request, empty, cancel_);
        }
        received = response.str();
        return result;
    });
    if (answer == 0) {
        if (listing)
            *listing = std::move(received);
        return true;
    }
    if (answer == refusal)
        return false;
    hid_error_to_exception(answer, path, command_name(command), nullptr, 0);
    throw invalid_function();
}

void hid_connection::transfer(int command, const boost::filesystem::path& file,
                              std::ostream* download, std::istream* upload)
{
    const std::string path = file.string();
    std::stringstream request;
    write_request(request, command, path);
    const int answer = download ? device_.download(request, *download, cancel_)
                                : device_.upload(request, *upload, cancel_);
    if (answer != 0)
        hid_error_to_exception(answer, path, command_name(command), nullptr, 0);
}

bool hid_connection::fetch(const boost::filesystem::path& directory,
                           std::set<zarvo::entry>& entries)
{
    std::string listing;
    if (!refusable(operation::GET, directory, path_is_file, &listing))
        return false;
    std::istringstream in(listing);
    if (!core::insert_listing(in, entries))
        throw bad_response("Failed to parse directory information.");
    return true;
}

bool hid_connection::create(const boost::filesystem::path& directory)
{
    return refusable(operation::PUT, directory, directory_exists_answer, nullptr);
}

bool hid_connection::remove(const boost::filesystem::path& p)
{
    return refusable(operation::REMOVE, p, no_such_entry, nullptr);
}

void hid_connection::read(const boost::filesystem::path& file, std::ostream& content)
{
    transfer(operation::GET, file, &content, nullptr);
}

void hid_connection::write(const boost::filesystem::path& file, std::istream& content)
{
    transfer(operation::PUT, file, nullptr, &content);
}

void hid_connection::merge(const boost::filesystem::path& file, std::istream& content)
{
    transfer(operation::MERGE, file, nullptr, &content);
}

zarvo::disk_space hid_connection::disk_space()
{
    std::string received;
    const int answer = core::resend_while_busy([&] {
        std::stringstream parameters;
        std::stringstream result;
        const int code = device_.query(protocol::GET_DISK_SPACE, &parameters, &result, cancel_);
        received = result.str();
        return code;
    });
    if (answer != 0) {
        hid_error_to_exception(answer, std::string(), "GET_DISK_SPACE", nullptr, 0);
        throw invalid_function();
    }
    protocol::PbZFtpDiskSpaceResult space;
    std::istringstream in(received);
    if (!read_message(in, space))
        throw bad_response("Failed to parse disk space information.");
    return zarvo::disk_space(space.fragment_size(), space.total_fragments(),
                             space.free_fragments());
}

void hid_connection::cancel()
{
    cancel_.set();
}

void hid_connection::reset_cancel()
{
    cancel_.reset();
}

int hid_connection::query(int id, std::istream& parameters, std::ostream& result)
{
    return device_.query(id, &parameters, &result, cancel_);
}

int hid_connection::notify(int id, std::istream& parameters)
{
    // The device's refusal of a notification (a stop with its code) goes to
    // the session, which maps it.
    return device_.notify(id, &parameters, cancel_);
}

int hid_connection::readiness()
{
    return 0;
}

void hid_connection::withdrawn() {}

} // namespace zarvo::usb
