#pragma once

// The commands of the HID emulator program over a hub of emulated USB
// devices. Each device's model, made at its first plug or seed, stays for the
// program's life: what the host wrote is still there when the device comes
// back.

#include "tools/emulator/device_model.h"
#include "tools/emulator/script.h"
#include "tools/emulator/usb_hub.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zarvo::emulator {

class emulator_program {
public:
    // How long a restarting device stays off the bus.
    static constexpr std::chrono::milliseconds restart_pause{500};

    explicit emulator_program(const std::filesystem::path& hid_dir);
    // Lets held reads go on, then unplugs every device.
    ~emulator_program();
    emulator_program(const emulator_program&) = delete;
    emulator_program& operator=(const emulator_program&) = delete;

    // The answer line to one command line, "" for a blank line; sets done on
    // quit.
    std::string run(const std::string& line, bool& done);

    // Readable while work from the devices' threads waits for run_pending.
    int wake_fd() const { return wake_fd_; }
    // Runs that work and the re-plugs that are due; returns the
    // milliseconds until the next re-plug, -1 when none waits.
    int run_pending();

private:
    using words = std::vector<std::string>;

    struct replug {
        std::chrono::steady_clock::time_point due;
        usb_identity identity;
    };

    std::string plug(const words& w);
    std::string unplug(const words& w);
    std::string list() const;
    std::string seed(const words& w);
    std::string cat(const words& w);
    std::string ls(const words& w);
    std::string clock(const words& w);
    std::string version(const words& w);
    std::string writes(const words& w);
    std::string link(const words& w);
    std::string record(const words& w);
    void plug_quietly(const usb_identity& identity, device_model& m);

    // The serial's model; made with the serial's profile when create is set,
    // otherwise std::invalid_argument when there is none.
    device_model& model(const std::string& serial, bool create);
    // From any thread: runs work on the main thread's next run_pending.
    void post(std::function<void()> work);
    void unplug_now(const std::string& serial, const std::shared_ptr<stall>& held,
                    unsigned reports);
    // True when a re-plug was waiting.
    bool forget_replugs(const std::string& serial);

    // Declared before the hub: the hub's threads post here until it goes.
    const int wake_fd_;
    std::mutex posted_mutex_;
    std::vector<std::function<void()>> posted_;

    std::vector<replug> replugs_;
    // Reads held for an unplug during them, until they are reached.
    std::vector<std::shared_ptr<stall>> held_;

    // Before the hub: the hub's devices serve these models until it goes.
    std::map<std::string, std::unique_ptr<device_model>> models_;
    usb_hub hub_;
};

} // namespace zarvo::emulator
