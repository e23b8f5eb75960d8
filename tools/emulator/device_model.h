#pragma once

#include "tools/emulator/exchange.h"
#include "tools/emulator/file_system.h"
#include "tools/emulator/profile.h"
#include "tools/emulator/script.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zarvo::emulator {

// Told of what the device does on its own. Called on the thread that caused
// it, outside the model's lock.
class observer {
public:
    virtual ~observer();
    // A device-to-host notification.
    virtual void device_notification(int id, const std::string& parameters) = 0;
    // The device went back to its factory content and restarts: a front end
    // drops its link the way a rebooting device does.
    virtual void factory_reset() {}
    // New firmware was installed and the device restarts with it, as after
    // a factory reset.
    virtual void firmware_installed() {}
};

// A device as its transports see it, reached through decoded exchanges. The
// USB report and TCP frame front ends, and the in-process fake connections,
// all sit in front of the same four calls. Callable from any thread: one
// mutex guards the state; observers and stalls run outside it.
class device_model {
public:
    struct stop_sync_request {
        bool completed = false;
        std::optional<std::string> description;
    };
    struct reset_request {
        bool sleep = false;
        bool factory_defaults = true;
    };
    struct disk_usage {
        std::uint32_t fragment_size = 0;
        std::uint64_t total_fragments = 0;
        std::uint64_t free_fragments = 0;
    };

    explicit device_model(device_profile p = device_profile::usb_device());
    ~device_model();
    device_model(const device_model&) = delete;
    device_model& operator=(const device_model&) = delete;

    const emulator::device_profile& profile() const { return profile_; }
    // The firmware running now: the profile's until an install replaces it.
    software_version firmware() const;

    // Firmware install, off by default: a PUT of "/SYSUPDAT.IMG" whose first
    // line is a version text installs that version ("/DEVICE.BPB" names it,
    // the update files go) and the observers are told the device restarts.
    // An image naming no version is refused with invalid_content.
    void set_installs_firmware(bool on);

    // --- The exchanges.
    reply file_operation(int command, const std::string& path, const std::string& payload);
    reply query(int id, const std::string& parameters);
    int host_notification(int id, const std::string& parameters);

    // --- Device events, sent to the observers.
    void idle();
    void battery(std::uint32_t level);
    void sync_required();
    void filesystem_modified(int action, const std::string& path);
    void emit(int id, const std::string& parameters);

    void add_observer(std::shared_ptr<observer> o);
    void remove_observer(const std::shared_ptr<observer>& o);

    // --- Content, for tests. Paths as the device accepts them; a bad path
    // throws std::invalid_argument.
    void put_file(const std::string& path, std::string content);
    void make_directory(const std::string& path);
    bool remove_entry(const std::string& path);
    std::optional<std::string> file(const std::string& path) const;
    bool is_directory(const std::string& path) const;
    // The entries of a directory in listing order; nullopt when the path
    // names no directory.
    std::optional<std::vector<file_system::listing_entry>> listing(const std::string& path) const;
    // Back to the profile's seed content.
    void restore_seed();

    // --- Disk.
    disk_usage disk() const;
    void set_total_fragments(std::uint64_t total);
    // Space held by something a disk clean-up frees (caches, old logs).
    void set_reclaimable_fragments(std::uint64_t fragments);
    std::optional<std::uint64_t> last_cleanup_request() const;

    // --- Settable state and state the host changed.
    void set_battery_level(std::uint32_t level);
    void set_inactivity_alert(bool on);
    bool adb_enabled() const;
    bool syncing() const;
    std::optional<stop_sync_request> last_stop_sync() const;
    std::optional<reset_request> last_reset() const;
    // Serialized clock parameters as last set (queries 1 and 3).
    std::string system_clock() const;
    std::string local_clock() const;

    // The challenge token the device derives from a user and a nonce.
    static std::string challenge_token(std::uint32_t user, const std::string& nonce);

    // --- Answer script.
    void script_answer(const match& m, int answer, int times = always,
                       std::optional<std::string> payload = std::nullopt);
    std::shared_ptr<emulator::stall> script_stall(const match& m, int times = always);
    void clear_script();

    // --- Transcript of every exchange in both directions, while recording
    // (on unless switched off: a long-lived device keeps none).
    std::vector<exchange_record> transcript() const;
    void clear_transcript();
    void set_recording(bool on);

private:
    reply run_file_operation(int command, const std::string& path, const std::string& payload,
                             bool& installed);
    int install_firmware(const device_path& path, const std::string& image);
    std::string device_info() const;
    reply run_query(int id, const std::string& parameters);
    int run_host_notification(int id, const std::string& parameters, bool& factory_reset);
    int check_merge(const device_path& path, const std::string& merged) const;
    std::string disk_space_result() const;
    void seed();
    void record(direction way, exchange_kind kind, int code, const std::string& path,
                const std::string& data, const reply& r);
    // Applies the script; returns the scripted reply, if any, after waiting
    // out a stall. Takes the lock itself.
    std::optional<reply> scripted(exchange_kind kind, int code, const std::string& path);
    std::vector<std::shared_ptr<observer>> observers() const;

    const emulator::device_profile profile_;

    mutable std::mutex mutex_;
    file_system files_;
    emulator::script script_;
    std::vector<exchange_record> transcript_;
    bool recording_ = true;
    std::uint64_t next_sequence_ = 1;
    std::vector<std::shared_ptr<observer>> observers_;

    software_version firmware_;
    bool installs_firmware_ = false;
    std::uint32_t battery_level_ = 80;
    bool inactivity_alert_ = false;
    bool adb_enabled_ = false;
    bool syncing_ = false;
    std::optional<stop_sync_request> last_stop_sync_;
    std::optional<reset_request> last_reset_;
    std::optional<std::uint64_t> last_cleanup_request_;
    std::string system_clock_;
    std::string local_clock_;
};

} // namespace zarvo::emulator
