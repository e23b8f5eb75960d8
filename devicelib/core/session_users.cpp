// The session's device information and user operations, over the device's
// own files.
#include "devicelib/core/session.h"

#include "devicelib/core/core_session.h"
#include "devicelib/core/device_command.h"
#include "devicelib/core/session_lock.h"
#include "devicelib/core/user_number.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/device_messages.h"
#include "devicelib/proto/message_io.h"
#include "devicelib/proto/user_database.pb.h"
#include "devicelib/proto/user_id.pb.h"
#include "devicelib/trace/trace.h"

#include <sstream>

namespace zarvo {

namespace {

const char* const device_file = "/DEVICE.BPB";
const char* const user_database_file = "/U/UDB.BPB";
const char* const users_directory = "/U";
constexpr std::size_t max_password = 16;

std::string user_file(const std::string& directory_name)
{
    return std::string(users_directory) + "/" + directory_name + "/USERID.BPB";
}

std::string user_file(unsigned user)
{
    return user_file(std::to_string(user));
}

version to_version(const data::PbVersion& v)
{
    return version(v.has_major() ? v.major() : version::undefined(),
                   v.has_minor() ? v.minor() : version::undefined(),
                   v.has_patch() ? v.patch() : version::undefined(),
                   v.has_specifier() ? v.specifier() : std::string());
}

// The file operations are the session's own; reading changes nothing of the
// client's object.
session& self(const session& s)
{
    return const_cast<session&>(s);
}

} // namespace

device_info session::info() const
{
    std::stringstream content;
    self(*this).read(device_file, content);
    data::PbDeviceInfo message;
    if (!read_message(content, message))
        throw bad_data();
    device_info out;
    if (message.has_model_name())
        out.model(message.model_name());
    if (message.has_bootloader_version())
        out.bootloader(to_version(message.bootloader_version()));
    if (message.has_platform_version())
        out.platform(to_version(message.platform_version()));
    if (message.has_device_version())
        out.firmware(to_version(message.device_version()));
    if (message.has_product_color())
        out.product_color(message.product_color());
    if (message.has_product_design())
        out.product_design(message.product_design());
    return out;
}

unsigned session::current_user() const
{
    std::stringstream content;
    self(*this).read(user_database_file, content);
    data::PbUserDb message;
    if (!read_message(content, message))
        throw bad_data();
    return message.current_user_index();
}

void session::current_user(unsigned user)
{
    data::PbUserDb message;
    message.set_current_user_index(user);
    std::stringstream content;
    write_message(message, content);
    try {
        merge(user_database_file, content);
    } catch (const invalid_content& e) {
        // The device refuses a user it does not have.
        throw no_such_user(user, e.std_base());
    }
}

std::uint64_t session::master_id(unsigned user) const
{
    std::stringstream content;
    try {
        self(*this).read(user_file(user), content);
    } catch (const no_such_file_or_directory& e) {
        throw no_such_user(user, e.std_base());
    }
    data::PbUserIdentifier message;
    if (!read_message(content, message))
        throw bad_data();
    if (!message.has_master_identifier())
        throw prerequisite_not_met("Master id not set.");
    return message.master_identifier();
}

std::set<unsigned> session::users() const
{
    std::set<entry> listing;
    self(*this).fetch(users_directory, listing);
    std::set<unsigned> out;
    for (const entry& e : listing) {
        if (!e.is_directory())
            continue;
        unsigned user = 0;
        if (core::parse_user_number(e.name(), user))
            out.insert(user);
        else
            ZARVO_TRACE("zarvo::session::users", "%s", core::user_number_error());
    }
    return out;
}

unsigned session::user_id(std::uint64_t master_id) const
{
    session& s = core::command_session(*this);
    // One scan under one hold: no other thread or program gets in between,
    // and a cancel made meanwhile stays for the caller to see.
    session_lock hold(s, session_lock::keep_cancel);
    std::set<entry> listing;
    s.fetch(users_directory, listing);
    for (const entry& e : listing) {
        if (!e.is_directory())
            continue;
        unsigned user = 0;
        if (!core::parse_user_number(e.name(), user)) {
            ZARVO_TRACE("zarvo::session::user_id", "%s", core::user_number_error());
            continue;
        }
        std::stringstream content;
        try {
            s.read(user_file(e.name()), content);
        } catch (const no_such_file_or_directory& error) {
            ZARVO_TRACE("zarvo::session::user_id", "%s", error.std_base().what());
            continue;
        }
        data::PbUserIdentifier message;
        if (read_message(content, message) && message.has_master_identifier() &&
            message.master_identifier() == master_id)
            return user;
    }
    throw prerequisite_not_met("Master id not assigned.");
}

void session::update_credentials(unsigned user, std::uint64_t master_id,
                                 const std::string& password)
{
    if (password.size() > max_password)
        throw invalid_parameter("password");
    data::PbUserIdentifier message;
    message.set_master_identifier(master_id);
    data::PbPasswordToken* token = message.mutable_password_token();
    token->set_token(password);
    token->set_encrypted(false);
    std::stringstream content;
    write_message(message, content);
    try {
        merge(user_file(user), content);
    } catch (const no_such_file_or_directory& e) {
        throw no_such_user(user, e.std_base());
    }
}

} // namespace zarvo
