#include "tools/emulator/program/emulator_program.h"

#include "tools/emulator/device_path.h"
#include "tools/emulator/program/answer_texts.h"

#include "devicelib/core/device_id.h"
#include "devicelib/platform/hid_identity.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include <sys/eventfd.h>
#include <unistd.h>

namespace zarvo::emulator {
namespace {

namespace fs = std::filesystem;

const char usage[] = "error: usage: plug SERIAL [VID PID] | unplug SERIAL [during PATH [REPORTS]] "
                     "| list | seed SERIAL DIR | cat SERIAL PATH | ls SERIAL PATH | clock SERIAL "
                     "| version SERIAL | record SERIAL | writes SERIAL | link SERIAL "
                     "| quit";

// 1 to 4 hexadecimal digits in either case.
std::optional<std::uint16_t> parse_id(std::string text)
{
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return zarvo::platform::parse_seam_id(std::string(4 - text.size(), '0') + text);
}

std::string file_name(const usb_identity& identity)
{
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x-%04x-", identity.vendor, identity.product);
    return ids + identity.serial + ".hid";
}

bool valid_serial(const usb_identity& identity)
{
    return identity.serial.find('/') == std::string::npos &&
           zarvo::platform::parse_seam_name(file_name(identity));
}

// A question's answer.
std::string value(const std::string& text)
{
    return "ok " + text;
}

std::optional<std::string> read_local_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    // An empty file sets failbit on out, nothing else.
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return out.str();
}

} // namespace

emulator_program::emulator_program(const fs::path& hid_dir)
    : wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , hub_(hid_dir)
{
    if (wake_fd_ < 0)
        throw std::runtime_error("eventfd failed");
    // A device that restarts comes back after a pause, as itself.
    hub_.on_restart([this](const usb_identity& identity) {
        post([this, identity] {
            replugs_.push_back({std::chrono::steady_clock::now() + restart_pause, identity});
        });
    });
}

emulator_program::~emulator_program()
{
    // A held read would keep its device's serving thread, which the hub
    // waits for.
    for (const auto& held : held_)
        held->release();
    // The hub goes first of the members that remain, then the models.
}

std::string emulator_program::run(const std::string& line, bool& done)
{
    std::istringstream in(line);
    words w;
    for (std::string word; in >> word;)
        w.push_back(word);
    if (w.empty())
        return {};
    try {
        const std::string& command = w[0];
        if (command == "plug")
            return plug(w);
        if (command == "unplug")
            return unplug(w);
        if (command == "list" && w.size() == 1)
            return list();
        if (command == "seed")
            return seed(w);
        if (command == "cat")
            return cat(w);
        if (command == "ls")
            return ls(w);
        if (command == "clock")
            return clock(w);
        if (command == "version")
            return version(w);
        if (command == "writes")
            return writes(w);
        if (command == "link")
            return link(w);
        if (command == "record")
            return record(w);
        if (command == "quit" && w.size() == 1) {
            done = true;
            return "ok";
        }
        return usage;
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

int emulator_program::run_pending()
{
    std::uint64_t count;
    (void)!::read(wake_fd_, &count, sizeof count);
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(posted_mutex_);
        work.swap(posted_);
    }
    for (auto& w : work) {
        try {
            w();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zarvo_hid_emulator: %s\n", e.what());
        }
    }

    const auto now = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> next;
    for (auto it = replugs_.begin(); it != replugs_.end();) {
        if (it->due > now) {
            next = next ? std::min(*next, it->due) : it->due;
            ++it;
            continue;
        }
        const usb_identity identity = it->identity;
        it = replugs_.erase(it);
        // Plugged again by a command in the meantime: nothing to do.
        try {
            if (!hub_.is_plugged(identity.serial))
                plug_quietly(identity, model(identity.serial, false));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zarvo_hid_emulator: %s\n", e.what());
        }
    }
    if (!next)
        return -1;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::max<long long>(wait, 0));
}

void emulator_program::post(std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> lock(posted_mutex_);
        posted_.push_back(std::move(work));
    }
    const std::uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);
}

device_model& emulator_program::model(const std::string& serial, bool create)
{
    auto& slot = models_[serial];
    if (slot)
        return *slot;
    if (!create || !valid_serial({serial})) {
        models_.erase(serial);
        throw std::invalid_argument(create ? "a serial is 1 to 126 characters without '/'"
                                           : "no such device: " + serial);
    }
    // The device names the id its serial gives, as the host reads it.
    device_profile profile = device_profile::usb_device();
    profile.id = zarvo::core::device_id_from_serial(serial);
    slot = std::make_unique<device_model>(profile);
    slot->set_installs_firmware(true);
    // A device that lives as long as the program keeps no history unless a
    // test asks for it ("record").
    slot->set_recording(false);
    return *slot;
}

// Plugs the device; its report front end keeps no transcript, which no
// command reads.
void emulator_program::plug_quietly(const usb_identity& identity, device_model& m)
{
    hub_.plug(identity, m);
    hub_.device(identity.serial).front_end().set_recording(false);
}

std::string emulator_program::plug(const words& w)
{
    if (w.size() != 2 && w.size() != 4)
        return "error: usage: plug SERIAL [VID PID]";
    usb_identity identity;
    identity.serial = w[1];
    if (w.size() == 4) {
        const auto vendor = parse_id(w[2]);
        const auto product = parse_id(w[3]);
        if (!vendor || !product)
            return "error: VID and PID are 1 to 4 hexadecimal digits";
        identity.vendor = *vendor;
        identity.product = *product;
    }
    if (!valid_serial(identity))
        return "error: a serial is 1 to 126 characters without '/'";
    plug_quietly(identity, model(identity.serial, true));
    forget_replugs(identity.serial);
    return "ok";
}

std::string emulator_program::unplug(const words& w)
{
    if (w.size() == 2) {
        // A device restarting now stays away instead of coming back.
        if (forget_replugs(w[1]) && !hub_.is_plugged(w[1]))
            return "ok";
        hub_.unplug(w[1]);
        return "ok";
    }
    if ((w.size() != 4 && w.size() != 5) || w[2] != "during")
        return "error: usage: unplug SERIAL [during PATH [REPORTS]]";
    device_model& m = model(w[1], false);
    const std::string& path = w[3];
    if (!parse_device_path(path))
        return "error: not a device path: " + path;
    unsigned reports = 0;
    if (w.size() == 5) {
        const std::string& text = w[4];
        if (text.empty() || text.size() > 9 ||
            !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return "error: REPORTS is a count of response reports";
        reports = static_cast<unsigned>(std::stoul(text));
    }
    // The next read of the path waits here until the unplug is armed.
    auto held = m.script_stall(match::file(command::get, path), 1);
    held_.push_back(held);
    const std::string serial = w[1];
    auto arm = [this, serial, weak = std::weak_ptr<stall>(held), reports] {
        post([this, serial, weak, reports] {
            if (const auto h = weak.lock())
                unplug_now(serial, h, reports);
        });
    };
    held->on_reached(arm);
    // A read that came before the action was in place.
    if (held->reached() > 0)
        arm();
    return "ok";
}

void emulator_program::unplug_now(const std::string& serial, const std::shared_ptr<stall>& held,
                                  unsigned reports)
{
    const auto found = std::find(held_.begin(), held_.end(), held);
    if (found == held_.end())
        return; // armed already
    held_.erase(found);
    hub_.unplug_after_response_reports(serial, reports);
    held->release();
}

bool emulator_program::forget_replugs(const std::string& serial)
{
    const auto gone = std::remove_if(replugs_.begin(), replugs_.end(),
                                     [&](const replug& r) { return r.identity.serial == serial; });
    const bool any = gone != replugs_.end();
    replugs_.erase(gone, replugs_.end());
    return any;
}

std::string emulator_program::list() const
{
    std::string answer = "ok";
    for (const auto& identity : hub_.plugged())
        answer += ' ' + file_name(identity);
    return answer;
}

// Everything is read before the device changes, so a folder that cannot be
// read leaves the device as it was.
std::string emulator_program::seed(const words& w)
{
    if (w.size() != 3)
        return "error: usage: seed SERIAL DIR";
    const fs::path dir = w[2];
    if (!fs::is_directory(dir))
        return "error: not a folder: " + w[2];
    struct entry {
        std::string path;
        std::optional<std::string> content; // none for a folder
    };
    std::vector<entry> entries;
    for (fs::recursive_directory_iterator it(dir), end; it != end; ++it) {
        const std::string path = "/" + it->path().lexically_relative(dir).generic_string();
        if (it->is_directory()) {
            entries.push_back({path, std::nullopt});
        } else if (it->is_regular_file()) {
            auto content = read_local_file(it->path());
            if (!content)
                return "error: cannot read " + it->path().string();
            entries.push_back({path, std::move(content)});
        } else {
            return "error: neither a file nor a folder: " + it->path().string();
        }
    }
    device_model& m = model(w[1], true);
    for (auto& e : entries) {
        if (e.content)
            m.put_file(e.path, std::move(*e.content));
        else
            m.make_directory(e.path);
    }
    return "ok";
}

std::string emulator_program::cat(const words& w)
{
    if (w.size() != 3)
        return "error: usage: cat SERIAL PATH";
    const device_model& m = model(w[1], false);
    const auto content = m.file(w[2]);
    if (!content)
        return (m.is_directory(w[2]) ? "error: a folder: " : "error: no such file: ") + w[2];
    return value(base64(*content));
}

std::string emulator_program::ls(const words& w)
{
    if (w.size() != 3)
        return "error: usage: ls SERIAL PATH";
    const device_model& m = model(w[1], false);
    const auto entries = m.listing(w[2]);
    if (!entries)
        return (m.file(w[2]) ? "error: not a folder: " : "error: no such folder: ") + w[2];
    std::vector<std::string> names;
    for (const auto& e : *entries)
        names.push_back(e.directory ? e.name + "/" : e.name);
    return value(json_array(names));
}

std::string emulator_program::clock(const words& w)
{
    if (w.size() != 2)
        return "error: usage: clock SERIAL";
    const device_model& m = model(w[1], false);
    const auto system = system_clock_text(m.system_clock());
    const auto local = local_clock_text(m.local_clock());
    if (!system || !local)
        return "error: the device's clocks do not parse";
    return value(*system + " " + *local);
}

std::string emulator_program::version(const words& w)
{
    if (w.size() != 2)
        return "error: usage: version SERIAL";
    return value(model(w[1], false).firmware().text());
}

// From now on the device's model keeps what the host asks of it, for
// "writes".
std::string emulator_program::record(const words& w)
{
    if (w.size() != 2)
        return "error: usage: record SERIAL";
    model(w[1], true).set_recording(true);
    return "ok";
}

// The plugged device's link so far: "MESSAGES MICROSECONDS", the host
// messages and the time from each one's first report to its answer's last.
std::string emulator_program::link(const words& w)
{
    if (w.size() != 2)
        return "error: usage: link SERIAL";
    if (!hub_.is_plugged(w[1]))
        return "error: not plugged: " + w[1];
    const usb_front_end& front_end = hub_.device(w[1]).front_end();
    const auto busy =
        std::chrono::duration_cast<std::chrono::microseconds>(front_end.busy_time()).count();
    return value(std::to_string(front_end.message_count()) + " " + std::to_string(busy));
}

// Every change the host asked of the device's files, in order, across its
// restarts: "put ANSWER BASE64 PATH" ("-" for no bytes, as for a folder),
// "merge …" and "remove …".
std::string emulator_program::writes(const words& w)
{
    if (w.size() != 2)
        return "error: usage: writes SERIAL";
    std::vector<std::string> lines;
    for (const exchange_record& r : model(w[1], false).transcript()) {
        if (r.way != direction::host_to_device || r.kind != exchange_kind::file_operation)
            continue;
        const char* name = nullptr;
        switch (command(r.code)) {
        case command::put:
            name = "put";
            break;
        case command::merge:
            name = "merge";
            break;
        case command::remove:
            name = "remove";
            break;
        case command::get:
            continue;
        }
        if (!name)
            continue;
        lines.push_back(std::string(name) + ' ' + std::to_string(r.answer) + ' ' +
                        (r.data.empty() ? std::string("-") : base64(r.data)) + ' ' + r.path);
    }
    return value(json_array(lines));
}

} // namespace zarvo::emulator
