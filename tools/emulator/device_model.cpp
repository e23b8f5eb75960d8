#include "tools/emulator/device_model.h"

#include "tools/emulator/answers.h"

#include "devicelib/proto/message_io.h"
#include "devicelib/proto/user_database.pb.h"
#include "devicelib/proto/user_id.pb.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <sstream>
#include <stdexcept>

namespace zarvo::emulator {

namespace {

bool parse(const std::string& bytes, google::protobuf::Message& message)
{
    std::istringstream in(bytes);
    return zarvo::read_message(in, message);
}

std::string serialize(const google::protobuf::Message& message)
{
    std::ostringstream out;
    zarvo::write_message(message, out);
    return out.str();
}

device_path checked_path(const std::string& text)
{
    auto path = parse_device_path(text);
    if (!path)
        throw std::invalid_argument("not a device path: " + text);
    return *path;
}

void fill(data::PbVersion& out, const software_version& in)
{
    out.Clear();
    out.set_major(in.major);
    out.set_minor(in.minor);
    out.set_patch(in.patch);
    if (!in.specifier.empty())
        out.set_specifier(in.specifier);
}

// The clocks a device starts with: 2026-01-01 12:00:00, trusted, without a
// time-zone offset.
template <typename Message>
Message initial_clock()
{
    Message m;
    m.mutable_date()->set_year(2026);
    m.mutable_date()->set_month(1);
    m.mutable_date()->set_day(1);
    m.mutable_time()->set_hour(12);
    m.mutable_time()->set_minute(0);
    m.mutable_time()->set_seconds(0);
    return m;
}

device_path user_directory(std::uint32_t user)
{
    device_path out;
    out.components = {"U", std::to_string(user)};
    return out;
}

// Clock parameters are kept as sent; unparsable ones are refused.
template <typename Params>
reply store_clock(const std::string& parameters, std::string& clock)
{
    Params params;
    if (!parse(parameters, params))
        return {answer::invalid_parameter, {}};
    clock = parameters;
    return {};
}

// What a firmware install replaces: the files the host uploads for it.
const char* const update_files[] = {"/SYSUPDAT.IMG", "/BTUPDAT.BIN", "/TCHUPDAT.BIN"};

bool is_user_file(const device_path& path)
{
    return path.components.size() == 3 && path.components[0] == "U" &&
           path.components[2] == "USERID.BPB";
}

} // namespace

observer::~observer() = default;

device_model::device_model(emulator::device_profile p)
    : profile_(std::move(p))
    , files_(profile_.fragment_size, profile_.total_fragments)
    , firmware_(profile_.firmware)
{
    seed();
}

device_model::~device_model()
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.release_all();
}

// The device information file: the profile with the firmware running now.
std::string device_model::device_info() const
{
    data::PbDeviceInfo info;
    fill(*info.mutable_bootloader_version(), profile_.bootloader);
    fill(*info.mutable_platform_version(), profile_.platform);
    fill(*info.mutable_device_version(), firmware_);
    info.set_deviceid(profile_.serial());
    info.set_model_name(profile_.model_name);
    info.set_product_color(profile_.product_color);
    info.set_product_design(profile_.product_design);
    return serialize(info);
}

// The factory content: device information, the user database naming user 0,
// and user 0's identity with the profile's master id. An installed firmware
// stays installed.
void device_model::seed()
{
    files_.clear();
    files_.set_file(checked_path("/DEVICE.BPB"), device_info());

    data::PbUserDb users;
    users.set_current_user_index(0);
    files_.set_file(checked_path("/U/UDB.BPB"), serialize(users));

    data::PbUserIdentifier user;
    user.set_master_identifier(profile_.master_id);
    files_.set_file(checked_path("/U/0/USERID.BPB"), serialize(user));

    auto system_clock = initial_clock<protocol::PbZFtpSetSystemTimeParams>();
    system_clock.set_trusted(true);
    system_clock_ = serialize(system_clock);
    local_clock_ = serialize(initial_clock<protocol::PbZFtpSetLocalTimeParams>());
    syncing_ = false;
    adb_enabled_ = false;
}

std::optional<reply> device_model::scripted(exchange_kind kind, int code, const std::string& path)
{
    script::outcome outcome;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outcome = script_.take(kind, code, path);
    }
    if (outcome.stall)
        outcome.stall->hold();
    return outcome.scripted;
}

void device_model::record(direction way, exchange_kind kind, int code, const std::string& path,
                          const std::string& data, const reply& r)
{
    if (!recording_) {
        ++next_sequence_;
        return;
    }
    transcript_.push_back({next_sequence_++, way, kind, code, path, data, r.answer, r.payload});
}

reply device_model::file_operation(int command, const std::string& path, const std::string& payload)
{
    const auto script_reply = scripted(exchange_kind::file_operation, command, path);
    bool installed = false;
    reply r;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        r = script_reply ? *script_reply : run_file_operation(command, path, payload, installed);
        record(direction::host_to_device, exchange_kind::file_operation, command, path, payload, r);
    }
    if (installed)
        for (const auto& o : observers())
            o->firmware_installed();
    return r;
}

reply device_model::query(int id, const std::string& parameters)
{
    const auto script_reply = scripted(exchange_kind::query, id, {});
    std::lock_guard<std::mutex> lock(mutex_);
    const reply r = script_reply ? *script_reply : run_query(id, parameters);
    record(direction::host_to_device, exchange_kind::query, id, {}, parameters, r);
    return r;
}

int device_model::host_notification(int id, const std::string& parameters)
{
    const auto script_reply = scripted(exchange_kind::host_notification, id, {});
    bool factory_reset = false;
    int answer_code = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_code = script_reply ? script_reply->answer
                                   : run_host_notification(id, parameters, factory_reset);
        record(direction::host_to_device, exchange_kind::host_notification, id, {}, parameters,
               {answer_code, {}});
    }
    if (factory_reset)
        for (const auto& o : observers())
            o->factory_reset();
    return answer_code;
}

reply device_model::run_file_operation(int command, const std::string& text,
                                       const std::string& payload, bool& installed)
{
    if (command < static_cast<int>(command::get) || command > static_cast<int>(command::remove))
        return {answer::invalid_command, {}};
    const auto path = parse_device_path(text);
    if (!path)
        return {answer::invalid_parameter, {}};
    reply r;
    switch (static_cast<emulator::command>(command)) {
    case command::get: {
        std::vector<file_system::listing_entry> listing;
        r.answer = files_.get(*path, listing, r.payload);
        if (r.answer == answer::ok && (path->directory_form || path->is_root())) {
            // Directories carry a trailing "/" and size 0; no times.
            protocol::PbZFtpDirectory directory;
            for (const auto& entry : listing) {
                auto* out = directory.add_entries();
                out->set_name(entry.directory ? entry.name + "/" : entry.name);
                out->set_size(entry.size);
            }
            r.payload = serialize(directory);
        }
        break;
    }
    case command::put:
        if (installs_firmware_ && !path->directory_form && path->text() == update_files[0]) {
            r.answer = install_firmware(*path, payload);
            installed = r.answer == answer::ok;
            break;
        }
        r.answer = files_.put(*path, payload);
        break;
    case command::merge:
        r.answer = files_.merge(*path, payload, [this](const device_path& p, const std::string& m) {
            return check_merge(p, m);
        });
        break;
    case command::remove:
        r.answer = files_.remove(*path);
        break;
    }
    return r;
}

// The image is stored like any upload first, so that a full disk refuses it
// as it refuses any file; then the device takes the version the image's first
// line names. Whatever else the host merged into the device information
// stays.
int device_model::install_firmware(const device_path& path, const std::string& image)
{
    std::string first_line = image.substr(0, image.find('\n'));
    if (!first_line.empty() && first_line.back() == '\r')
        first_line.pop_back();
    const auto version = parse_software_version(first_line);
    if (!version)
        return answer::invalid_content;
    const int stored = files_.put(path, image);
    if (stored != answer::ok)
        return stored;
    firmware_ = *version;
    const device_path info_path = checked_path("/DEVICE.BPB");
    data::PbDeviceInfo info;
    const auto current = files_.file(info_path);
    if (current && parse(*current, info)) {
        fill(*info.mutable_device_version(), firmware_);
        files_.set_file(info_path, serialize(info));
    } else {
        files_.set_file(info_path, device_info());
    }
    for (const char* update_file : update_files)
        files_.erase(checked_path(update_file));
    return answer::ok;
}

// The device keeps its own files whole: a merge that leaves one of them
// unparsable, or a user database naming a user that does not exist, is
// refused with invalid_content.
int device_model::check_merge(const device_path& path, const std::string& merged) const
{
    const std::string text = path.text();
    if (text == "/DEVICE.BPB") {
        data::PbDeviceInfo info;
        return parse(merged, info) ? answer::ok : answer::invalid_content;
    }
    if (text == "/U/UDB.BPB") {
        data::PbUserDb users;
        if (!parse(merged, users))
            return answer::invalid_content;
        return files_.is_directory(user_directory(users.current_user_index()))
                   ? answer::ok
                   : answer::invalid_content;
    }
    if (is_user_file(path)) {
        data::PbUserIdentifier user;
        return parse(merged, user) ? answer::ok : answer::invalid_content;
    }
    return answer::ok;
}

reply device_model::run_query(int id, const std::string& parameters)
{
    reply r;
    switch (id) {
    case protocol::IDENTIFY_DEVICE: {
        protocol::PbZFtpIdentifyDeviceResult result;
        result.set_device_id(profile_.serial());
        r.payload = serialize(result);
        return r;
    }
    case protocol::SET_SYSTEM_TIME:
        return store_clock<protocol::PbZFtpSetSystemTimeParams>(parameters, system_clock_);
    case protocol::SET_LOCAL_TIME:
        return store_clock<protocol::PbZFtpSetLocalTimeParams>(parameters, local_clock_);
    // Each clock's result message has its parameters' fields under the same
    // numbers, so the stored bytes are the answer.
    case protocol::GET_SYSTEM_TIME:
        return {answer::ok, system_clock_};
    case protocol::GET_LOCAL_TIME:
        return {answer::ok, local_clock_};
    case protocol::GET_DISK_SPACE:
        return {answer::ok, disk_space_result()};
    case protocol::GENERATE_CHALLENGE_TOKEN: {
        protocol::PbZFtpGenerateChallengeTokenParams params;
        if (!parse(parameters, params) || params.nonse().size() != 16)
            return {answer::invalid_parameter, {}};
        if (!files_.is_directory(user_directory(params.user_id())))
            return {answer::no_such_user, {}};
        protocol::PbZFtpGenerateChallengeTokenResult result;
        result.set_token(challenge_token(params.user_id(), params.nonse()));
        r.payload = serialize(result);
        return r;
    }
    case protocol::GET_BATTERY_STATUS: {
        protocol::PbZFtpGetBatteryStatusResult result;
        result.set_battery_status(battery_level_);
        r.payload = serialize(result);
        return r;
    }
    case protocol::SET_ADB_MODE: {
        protocol::PbZFtpSetAdbModeParams params;
        if (!parse(parameters, params))
            return {answer::invalid_parameter, {}};
        adb_enabled_ = params.enable();
        return r;
    }
    case protocol::CLEANUP_DISK_SPACE: {
        protocol::PbZFtpCleanupDiskSpaceParams params;
        if (!parse(parameters, params))
            return {answer::invalid_parameter, {}};
        last_cleanup_request_ = params.required_bytes();
        files_.reclaim();
        return {answer::ok, disk_space_result()};
    }
    case protocol::GET_INACTIVITY_PRE_ALERT: {
        protocol::PbZFtpGetInactivityPreAlertResult result;
        result.set_inactivity_pre_alert_on(inactivity_alert_);
        r.payload = serialize(result);
        return r;
    }
    default:
        return {answer::invalid_command, {}};
    }
}

int device_model::run_host_notification(int id, const std::string& parameters, bool& factory_reset)
{
    switch (id) {
    case protocol::START_SYNC:
        syncing_ = true;
        return answer::ok;
    case protocol::STOP_SYNC: {
        protocol::PbZFtpStopSyncParams params;
        if (!parse(parameters, params))
            return answer::invalid_parameter;
        stop_sync_request request;
        request.completed = params.completed();
        if (params.has_description())
            request.description = params.description();
        last_stop_sync_ = request;
        syncing_ = false;
        return answer::ok;
    }
    case protocol::RESET: {
        protocol::PbZFtpFactoryResetParams params;
        if (!parse(parameters, params))
            return answer::invalid_parameter;
        // An absent do_factory_defaults reads as its default, true, as the
        // device reads it.
        last_reset_ = reset_request{params.sleep(), params.do_factory_defaults()};
        if (params.do_factory_defaults()) {
            seed();
            factory_reset = true;
        }
        return answer::ok;
    }
    case protocol::START_AUTOSYNC: {
        protocol::PbZFtpStartAutosyncParams params;
        return parse(parameters, params) ? answer::ok : answer::invalid_parameter;
    }
    case protocol::PNS_HD_NOTIFICATION: {
        protocol::PbZftpPnsHDNotification params;
        return parse(parameters, params) ? answer::ok : answer::invalid_parameter;
    }
    case protocol::LOCK_PRODUCTION_DATA:
    case protocol::TERMINATE_SYNC:
    case protocol::KEEP_ALIVE:
        return answer::ok;
    default:
        return answer::invalid_command;
    }
}

// Deterministic, so tests can compute the expected token: each byte of the
// reversed nonce mixed with a byte of the user number.
std::string device_model::challenge_token(std::uint32_t user, const std::string& nonce)
{
    std::string token(nonce.rbegin(), nonce.rend());
    for (std::size_t i = 0; i < token.size(); ++i)
        token[i] = static_cast<char>(static_cast<unsigned char>(token[i]) ^
                                     ((user >> (8 * (i % 4))) & 0xFF) ^ 0x5A);
    return token;
}

std::string device_model::disk_space_result() const
{
    protocol::PbZFtpDiskSpaceResult result;
    result.set_fragment_size(files_.fragment_size());
    result.set_total_fragments(files_.total_fragments());
    result.set_free_fragments(files_.free_fragments());
    return serialize(result);
}

void device_model::emit(int id, const std::string& parameters)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        record(direction::device_to_host, exchange_kind::device_notification, id, {}, parameters,
               {});
    }
    for (const auto& o : observers())
        o->device_notification(id, parameters);
}

void device_model::idle()
{
    emit(protocol::IDLING, {});
}

void device_model::battery(std::uint32_t level)
{
    protocol::PbZFtpBatteryStatus params;
    params.set_battery_status(level);
    emit(protocol::BATTERY_STATUS, serialize(params));
}

void device_model::sync_required()
{
    emit(protocol::SYNC_REQUIRED, {});
}

void device_model::filesystem_modified(int action, const std::string& path)
{
    protocol::PbZFtpFilesystemModifiedParams params;
    if (protocol::Action_IsValid(action))
        params.set_action(static_cast<protocol::Action>(action));
    params.set_path(path);
    emit(protocol::FILESYSTEM_MODIFIED, serialize(params));
}

void device_model::add_observer(std::shared_ptr<observer> o)
{
    std::lock_guard<std::mutex> lock(mutex_);
    observers_.push_back(std::move(o));
}

void device_model::remove_observer(const std::shared_ptr<observer>& o)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = observers_.begin(); it != observers_.end(); ++it) {
        if (*it == o) {
            observers_.erase(it);
            return;
        }
    }
}

std::vector<std::shared_ptr<observer>> device_model::observers() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return observers_;
}

void device_model::put_file(const std::string& path, std::string content)
{
    const auto p = checked_path(path);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!files_.set_file(p, std::move(content)))
        throw std::invalid_argument("cannot put a file at " + path);
}

void device_model::make_directory(const std::string& path)
{
    const auto p = checked_path(path);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!files_.make_directory(p))
        throw std::invalid_argument("cannot make a directory at " + path);
}

bool device_model::remove_entry(const std::string& path)
{
    const auto p = checked_path(path);
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.erase(p);
}

std::optional<std::string> device_model::file(const std::string& path) const
{
    const auto p = checked_path(path);
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.file(p);
}

bool device_model::is_directory(const std::string& path) const
{
    const auto p = checked_path(path);
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.is_directory(p);
}

std::optional<std::vector<file_system::listing_entry>>
device_model::listing(const std::string& path) const
{
    auto p = checked_path(path);
    p.directory_form = true;
    std::vector<file_system::listing_entry> entries;
    std::string unused;
    std::lock_guard<std::mutex> lock(mutex_);
    if (files_.get(p, entries, unused) != answer::ok)
        return std::nullopt;
    return entries;
}

software_version device_model::firmware() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return firmware_;
}

void device_model::set_installs_firmware(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    installs_firmware_ = on;
}

void device_model::restore_seed()
{
    std::lock_guard<std::mutex> lock(mutex_);
    seed();
}

device_model::disk_usage device_model::disk() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return {files_.fragment_size(), files_.total_fragments(), files_.free_fragments()};
}

void device_model::set_total_fragments(std::uint64_t total)
{
    std::lock_guard<std::mutex> lock(mutex_);
    files_.set_total_fragments(total);
}

void device_model::set_reclaimable_fragments(std::uint64_t fragments)
{
    std::lock_guard<std::mutex> lock(mutex_);
    files_.set_reclaimable_fragments(fragments);
}

std::optional<std::uint64_t> device_model::last_cleanup_request() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return last_cleanup_request_;
}

void device_model::set_battery_level(std::uint32_t level)
{
    std::lock_guard<std::mutex> lock(mutex_);
    battery_level_ = level;
}

void device_model::set_inactivity_alert(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    inactivity_alert_ = on;
}

bool device_model::adb_enabled() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return adb_enabled_;
}

bool device_model::syncing() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return syncing_;
}

std::optional<device_model::stop_sync_request> device_model::last_stop_sync() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return last_stop_sync_;
}

std::optional<device_model::reset_request> device_model::last_reset() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return last_reset_;
}

std::string device_model::system_clock() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return system_clock_;
}

std::string device_model::local_clock() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return local_clock_;
}

void device_model::script_answer(const match& m, int answer_code, int times,
                                 std::optional<std::string> payload)
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.answer(m, answer_code, times, std::move(payload));
}

std::shared_ptr<emulator::stall> device_model::script_stall(const match& m, int times)
{
    auto s = std::make_shared<emulator::stall>();
    std::lock_guard<std::mutex> lock(mutex_);
    script_.add_stall(m, s, times);
    return s;
}

void device_model::clear_script()
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.clear();
}

std::vector<exchange_record> device_model::transcript() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transcript_;
}

void device_model::clear_transcript()
{
    std::lock_guard<std::mutex> lock(mutex_);
    transcript_.clear();
}

void device_model::set_recording(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = on;
}

} // namespace zarvo::emulator
