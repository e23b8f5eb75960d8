// Device files and ZFtp answers: the bytes of the device information file,
// the user database, the users' id files, the users' directory listing and
// the results of the disk space, clock and battery queries, each with an
// answer code, put before the session's operations by the device model
// behind a fake connection. Every operation returns or raises one of the
// library's errors.
//
// Input: one slot per answer, in the order of `slots` below: a code byte
// (see `answer_code`), a 16-bit little-endian length and that many bytes.
// Slots missing at the end keep the model's own answers.
//
// With ZARVO_FUZZ_WRITE_SEED=<file> set, the target writes an input made of
// the model's own answers to that file and exits.
#include "devicelib/core/core_session.h"
#include "devicelib/core/resend.h"
#include "devicelib/errors/exception.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/fuzz/quiet_protobuf.h"
#include "tests/support/model_links.h"
#include "tools/emulator/device_model.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

namespace emu = zarvo::emulator;

struct slot {
    emu::match when;
    // Where the model's own answer comes from, for the seed.
    std::optional<std::string> file;
};

const std::vector<slot>& slots()
{
    static const std::vector<slot> all = {
        {emu::match::file(emu::command::get, "/DEVICE.BPB"), "/DEVICE.BPB"},
        {emu::match::file(emu::command::get, "/U/UDB.BPB"), "/U/UDB.BPB"},
        {emu::match::file(emu::command::get, "/U"), std::nullopt},
        {emu::match::file(emu::command::get, "/U/"), std::nullopt},
        // Every other read: the users' id files.
        {emu::match::file(emu::command::get), "/U/0/USERID.BPB"},
        {emu::match::query(::protocol::GET_DISK_SPACE), std::nullopt},
        {emu::match::query(::protocol::GET_SYSTEM_TIME), std::nullopt},
        {emu::match::query(::protocol::GET_LOCAL_TIME), std::nullopt},
        {emu::match::query(::protocol::GET_BATTERY_STATUS), std::nullopt},
    };
    return all;
}

// Code byte to answer: the model's own answer (no rule), success with the
// slot's bytes, or one of the answers the session maps to errors or asks
// again on.
std::optional<int> answer_code(std::uint8_t code)
{
    static const int codes[] = {0, 0, 0, 1, 2, 101, 102, 103, 106, 107, 108, 203, 205, 999};
    if (code == 0xFF)
        return std::nullopt;
    return codes[code % (sizeof codes / sizeof codes[0])];
}

const zarvo::test::test_device& device()
{
    static const zarvo::test::test_device d;
    return d;
}

void write_seed(const char* file)
{
    auto model = std::make_shared<emu::device_model>();
    std::string input;
    for (const slot& s : slots()) {
        std::string bytes;
        if (s.file)
            bytes = model->file(*s.file).value_or("");
        else if (s.when.kind == emu::exchange_kind::query)
            bytes = model->query(s.when.code, {}).payload;
        else
            bytes = model->file_operation(0, *s.when.path, {}).payload;
        input += '\0';
        input += static_cast<char>(bytes.size() & 0xFF);
        input += static_cast<char>(bytes.size() >> 8 & 0xFF);
        input += bytes;
    }
    std::ofstream(file, std::ios::binary) << input;
}

template <typename F>
void attempt(F&& operation)
{
    try {
        operation();
    } catch (const zarvo::exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (const char* file = std::getenv("ZARVO_FUZZ_WRITE_SEED")) {
        write_seed(file);
        std::exit(0);
    }
    zarvo::fuzz::quiet_protobuf();
    // A device that keeps answering "busy" is given up on at once.
    zarvo::core::resend_timing quick;
    quick.budget = std::chrono::milliseconds(0);
    quick.first_pause = std::chrono::milliseconds(1);
    quick.max_pause = std::chrono::milliseconds(1);
    zarvo::core::set_resend_settings(quick);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto model = std::make_shared<emu::device_model>();
    std::size_t at = 0;
    for (const slot& s : slots()) {
        if (size - at < 3)
            break;
        const std::optional<int> code = answer_code(data[at]);
        std::size_t length = data[at + 1] | std::size_t{data[at + 2]} << 8;
        at += 3;
        length = std::min(length, size - at);
        const std::string bytes(reinterpret_cast<const char*>(data + at), length);
        at += length;
        if (code)
            model->script_answer(s.when, *code, emu::always, bytes);
    }

    zarvo::test::model_link link(zarvo::test::link_kind::usb_like, model);
    zarvo::core::session session(device().id());
    session.add_connection(&link.connection(), true);

    attempt([&] { (void)session.info(); });
    attempt([&] { (void)session.current_user(); });
    std::set<unsigned> users;
    attempt([&] { users = session.users(); });
    unsigned asked = 0;
    for (unsigned user : users) {
        if (++asked > 3)
            break;
        attempt([&] { (void)session.master_id(user); });
    }
    attempt([&] { (void)session.user_id(0x0123456789ABCDEFull); });
    std::set<zarvo::entry> listing;
    attempt([&] { session.fetch("/U", listing); });
    attempt([&] { (void)session.disk_space(); });
    attempt([&] { (void)session.system_time(); });
    attempt([&] { (void)session.user_time(); });
    attempt([&] { (void)session.battery_status(); });
    return 0;
}
