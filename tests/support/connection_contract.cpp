#include "tests/support/connection_contract.h"

#include "devicelib/core/core_session.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "tests/support/fake_listener.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/core/demangle.hpp>
#include <sstream>
#include <thread>
#include <typeinfo>

namespace zarvo::test {
namespace {

enum command { get = 0, put = 1, merge = 2, remove = 3 };

using operation = std::function<void(zarvo::session&)>;

struct expected {
    const std::type_info* type;
    std::string text; // found in what() when not empty
    std::string path; // checked when not empty
};

template <typename Error>
expected error(std::string text = {}, std::string path = {})
{
    return {&typeid(Error), std::move(text), std::move(path)};
}

std::string path_of(const std::exception& e)
{
    if (auto* p = dynamic_cast<const zarvo::no_such_file_or_directory*>(&e))
        return p->path();
    if (auto* p = dynamic_cast<const zarvo::directory_exists*>(&e))
        return p->path();
    if (auto* p = dynamic_cast<const zarvo::file_exists*>(&e))
        return p->path();
    return {};
}

void expect_error(const operation& op, zarvo::session& s, const expected& e)
{
    try {
        op(s);
        ADD_FAILURE() << "no error; expected " << boost::core::demangle(e.type->name());
    } catch (const std::exception& ex) {
        EXPECT_TRUE(typeid(ex) == *e.type)
            << "got " << boost::core::demangle(typeid(ex).name()) << " (" << ex.what()
            << "), expected " << boost::core::demangle(e.type->name());
        // Some classes wrap their detail ("Bad response: ...").
        if (!e.text.empty()) {
            EXPECT_NE(std::string(ex.what()).find(e.text), std::string::npos)
                << "text '" << ex.what() << "' lacks '" << e.text << "'";
        }
        if (!e.path.empty()) {
            EXPECT_EQ(path_of(ex), e.path);
        }
    }
}

// Runs op while another thread cancels the session once `sends` exchanges
// have gone out; op must end with zarvo::operation_canceled. The device
// answers every exchange with busy_code or, without one, stalls the first.
void cancel_after_sends(contract_rig& rig, const operation& op, std::size_t sends,
                        int busy_code = 0)
{
    latch never;
    exchange_answer a;
    if (busy_code) {
        a.code = busy_code;
        rig.answer_always(a);
    } else {
        a.stall = &never;
        rig.answer(a);
    }
    auto& s = rig.session();
    std::thread canceller([&] {
        while (rig.sent().size() < sends)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.cancel();
    });
    expect_error(op, s, error<zarvo::operation_canceled>());
    canceller.join();
}

std::string disk_space_bytes()
{
    protocol::PbZFtpDiskSpaceResult r;
    r.set_fragment_size(512);
    r.set_total_fragments(100);
    r.set_free_fragments(40);
    return r.SerializeAsString();
}

std::string listing_bytes()
{
    protocol::PbZFtpDirectory d;
    auto* e = d.add_entries();
    e->set_name("DAILY/");
    e->set_size(0);
    e = d.add_entries();
    e->set_name("A.BPB");
    e->set_size(120);
    return d.SerializeAsString();
}

const std::string garbage("\x0a\x05\x0a\x01", 4);

// The file operations and disk space as the session offers them.
operation fetch_of(std::string path, bool expect = true)
{
    return [path, expect](zarvo::session& s) {
        std::set<zarvo::entry> out;
        EXPECT_EQ(s.fetch(path, out), expect);
    };
}
operation create_of(std::string path, bool expect = true)
{
    return [path, expect](zarvo::session& s) { EXPECT_EQ(s.create(path), expect); };
}
operation remove_of(std::string path, bool expect = true)
{
    return [path, expect](zarvo::session& s) { EXPECT_EQ(s.remove(path), expect); };
}
operation read_of(std::string path)
{
    return [path](zarvo::session& s) {
        std::ostringstream out;
        s.read(path, out);
    };
}
operation write_of(std::string path, std::string bytes = "abc")
{
    return [path, bytes](zarvo::session& s) {
        std::istringstream in(bytes);
        s.write(path, in);
    };
}
operation merge_of(std::string path, std::string bytes = "abc")
{
    return [path, bytes](zarvo::session& s) {
        std::istringstream in(bytes);
        s.merge(path, in);
    };
}
operation disk_space_op()
{
    return [](zarvo::session& s) { s.disk_space(); };
}

struct named_op {
    const char* name;
    operation op;
};

// The operations that take a path, all on /X.BPB.
std::vector<named_op> file_operations()
{
    return {{"fetch", fetch_of("/X.BPB")},   {"create", create_of("/X.BPB")},
            {"remove", remove_of("/X.BPB")}, {"read", read_of("/X.BPB")},
            {"write", write_of("/X.BPB")},   {"merge", merge_of("/X.BPB")}};
}

std::vector<contract_case> common_cases(const std::string& transport, const std::string& family)
{
    std::vector<contract_case> cases;
    cases.push_back({"NamesReadinessAndPlacement", [transport, family](contract_rig& rig) {
                         auto& s = rig.session();
                         auto* c = s.current_connection();
                         EXPECT_EQ(s.transport(c), transport);
                         EXPECT_EQ(s.family(c), family);
                         EXPECT_FALSE(s.ready());
                         EXPECT_THROW(s.placement(c), zarvo::not_implemented);
                     }});
    cases.push_back({"RequestPaths", [](contract_rig& rig) {
                         struct row {
                             operation op;
                             int command;
                             std::string path;
                             std::string payload;
                         };
                         const std::vector<row> rows = {
                             {fetch_of("/"), get, "/", ""},
                             {fetch_of("/U/0"), get, "/U/0/", ""},
                             {create_of("/NEW"), put, "/NEW/", ""},
                             {remove_of("/A"), remove, "/A", ""},
                             {remove_of("/D/"), remove, "/D", ""},
                             {read_of("/A.BPB"), get, "/A.BPB", ""},
                             {write_of("/W.BPB", "abc"), put, "/W.BPB", "abc"},
                             {merge_of("/M.BPB", "xyz"), merge, "/M.BPB", "xyz"},
                         };
                         for (const auto& r : rows)
                             r.op(rig.session());
                         const auto sent = rig.sent();
                         ASSERT_EQ(sent.size(), rows.size());
                         for (std::size_t i = 0; i < rows.size(); ++i) {
                             SCOPED_TRACE(rows[i].path);
                             EXPECT_EQ(sent[i].kind, exchange_request::operation);
                             EXPECT_EQ(sent[i].command, rows[i].command);
                             EXPECT_EQ(sent[i].path, rows[i].path);
                             EXPECT_EQ(sent[i].payload, rows[i].payload);
                         }
                     }});
    cases.push_back({"ListingAndDiskSpace", [](contract_rig& rig) {
                         rig.answer(0, listing_bytes());
                         std::set<zarvo::entry> out;
                         ASSERT_TRUE(rig.session().fetch("/", out));
                         ASSERT_EQ(out.size(), 2u);
                         EXPECT_TRUE(out.find(zarvo::entry("DAILY"))->is_directory());
                         EXPECT_EQ(out.find(zarvo::entry("A.BPB"))->size(), 120u);
                         rig.answer(0, disk_space_bytes());
                         const auto space = rig.session().disk_space();
                         EXPECT_EQ(space.fragment_size(), 512u);
                         EXPECT_EQ(space.total_fragments(), 100u);
                         EXPECT_EQ(space.free_fragments(), 40u);
                         const auto sent = rig.sent();
                         ASSERT_EQ(sent.size(), 2u);
                         EXPECT_EQ(sent[1].kind, exchange_request::query);
                         EXPECT_EQ(sent[1].id, 5);
                     }});
    cases.push_back({"DiskSpaceThatDoesNotParse", [](contract_rig& rig) {
                         rig.answer(0, garbage);
                         expect_error(
                             disk_space_op(), rig.session(),
                             error<zarvo::bad_response>("Failed to parse disk space information."));
                     }});
    cases.push_back({"CallerStreamFailures", [](contract_rig& rig) {
                         auto& s = rig.session();
                         rig.answer(0, "content");
                         std::ostringstream broken_out;
                         broken_out.setstate(std::ios::badbit);
                         EXPECT_THROW(s.read("/A.BPB", broken_out), zarvo::stream_failure);
                         for (bool merging : {false, true}) {
                             std::istringstream broken_in("abc");
                             broken_in.setstate(std::ios::badbit);
                             if (merging) {
                                 EXPECT_THROW(s.merge("/A.BPB", broken_in), zarvo::stream_failure);
                             } else {
                                 EXPECT_THROW(s.write("/A.BPB", broken_in), zarvo::stream_failure);
                             }
                         }
                     }});
    cases.push_back({"CancelEndsAStalledTransfer",
                     [](contract_rig& rig) { cancel_after_sends(rig, read_of("/A.BPB"), 1); }});
    return cases;
}

// Each code as the answer to a read of /X.BPB.
void answer_codes(contract_rig& rig, const std::vector<std::pair<int, expected>>& rows)
{
    for (const auto& [code, e] : rows) {
        SCOPED_TRACE("answer " + std::to_string(code));
        rig.answer(code);
        expect_error(read_of("/X.BPB"), rig.session(), e);
    }
}

std::vector<std::pair<int, expected>> shared_code_rows()
{
    return {
        {100, error<zarvo::unidentified_host_error>("Unidentified host error.")},
        {102, error<zarvo::invalid_parameter>("Invalid parameter.")},
        {103, error<zarvo::no_such_file_or_directory>("", "/X.BPB")},
        {104, error<zarvo::directory_exists>("", "/X.BPB")},
        {105, error<zarvo::file_exists>("", "/X.BPB")},
        {108, error<zarvo::operation_timed_out>()},
        {200, error<zarvo::unidentified_device_error>("Unidentified device error.")},
        {201, error<zarvo::not_implemented>()},
        {202, error<zarvo::device_busy>()},
        {203, error<zarvo::invalid_content>()},
        {204, error<zarvo::checksum_failure>()},
        {205, error<zarvo::disk_full>()},
        {206, error<zarvo::prerequisite_not_met>()},
        {207, error<zarvo::insufficient_buffer>()},
        {208, error<zarvo::wait_for_idling>()},
    };
}

std::string battery(unsigned level)
{
    protocol::PbZFtpBatteryStatus status;
    status.set_battery_status(level);
    return status.SerializeAsString();
}

std::size_t traced(const recording_logger& log, const std::string& text)
{
    std::size_t n = 0;
    for (const auto& m : log.messages())
        n += m.find(text) != std::string::npos;
    return n;
}

} // namespace

contract_rig::~contract_rig() = default;

bool contract_rig::refuse_long_notifications(int)
{
    return false;
}

void contract_rig::answer(int code, std::string payload)
{
    exchange_answer a;
    a.code = code;
    a.payload = std::move(payload);
    answer(std::move(a));
}

std::vector<contract_case> usb_contract()
{
    auto cases = common_cases("HID", "");
    cases.push_back({"RefusalsAnswerFalse", [](contract_rig& rig) {
                         rig.answer(105);
                         std::set<zarvo::entry> out;
                         EXPECT_FALSE(rig.session().fetch("/F.BPB", out));
                         EXPECT_TRUE(out.empty());
                         rig.answer(104);
                         EXPECT_FALSE(rig.session().create("/D"));
                         rig.answer(103);
                         EXPECT_FALSE(rig.session().remove("/X"));
                     }});
    cases.push_back({"BusyDirectoryOperationsAreSentAgain", [](contract_rig& rig) {
                         const std::vector<named_op> ops = {{"fetch", fetch_of("/D")},
                                                            {"create", create_of("/D")},
                                                            {"remove", remove_of("/D")},
                                                            {"disk_space", disk_space_op()}};
                         for (const auto& o : ops) {
                             SCOPED_TRACE(o.name);
                             const auto before = rig.sent().size();
                             rig.answer(2);
                             rig.answer(2);
                             rig.answer(0, o.name == std::string("disk_space") ? disk_space_bytes()
                                                                               : std::string());
                             o.op(rig.session());
                             EXPECT_EQ(rig.sent().size() - before, 3u);
                         }
                     }});
    cases.push_back({"BusyTransfersRaiseTryAgainSentOnce", [](contract_rig& rig) {
                         for (const auto& o : {read_of("/A"), write_of("/A"), merge_of("/A")}) {
                             const auto before = rig.sent().size();
                             rig.answer(2);
                             expect_error(o, rig.session(), error<zarvo::try_again>());
                             EXPECT_EQ(rig.sent().size() - before, 1u);
                         }
                     }});
    cases.push_back({"AnswerOne", [](contract_rig& rig) {
                         for (const auto& o : {read_of("/A"), write_of("/A"), merge_of("/A")}) {
                             rig.answer(1);
                             o(rig.session());
                         }
                         for (const auto& o :
                              {fetch_of("/A"), create_of("/A"), remove_of("/A"), disk_space_op()}) {
                             rig.answer(1);
                             expect_error(o, rig.session(), error<zarvo::invalid_function>());
                         }
                     }});
    cases.push_back(
        {"AnswerCodes", [](contract_rig& rig) {
             auto rows = shared_code_rows();
             rows.push_back({101, error<zarvo::invalid_command>("Invalid command 'GET'.")});
             rows.push_back(
                 {106, error<zarvo::operation_not_permitted>("Operation 'GET' not permitted.")});
             rows.push_back({107, error<zarvo::no_such_user>()});
             rows.push_back({300, error<zarvo::unidentified_device_error>("Unknown error code.")});
             answer_codes(rig, rows);
         }});
    cases.push_back(
        {"OperationNames", [](contract_rig& rig) {
             const std::vector<std::pair<operation, std::string>> rows = {
                 {write_of("/A"), "PUT"},
                 {merge_of("/A"), "MERGE"},
                 {remove_of("/A"), "REMOVE"},
                 {create_of("/A"), "PUT"},
                 {fetch_of("/A"), "GET"}};
             for (const auto& [op, name] : rows) {
                 rig.answer(101);
                 expect_error(op, rig.session(),
                              error<zarvo::invalid_command>("Invalid command '" + name + "'."));
                 rig.answer(106);
                 expect_error(op, rig.session(),
                              error<zarvo::operation_not_permitted>("Operation '" + name +
                                                                    "' not permitted."));
             }
         }});
    cases.push_back({"ListingThatDoesNotParse", [](contract_rig& rig) {
                         rig.answer(0, garbage);
                         expect_error(
                             fetch_of("/"), rig.session(),
                             error<zarvo::bad_response>("Failed to parse directory information."));
                     }});
    cases.push_back({"QueryAndNotify", [](contract_rig& rig) {
                         auto& s = dynamic_cast<zarvo::core::session&>(rig.session());
                         rig.answer(5, "payload");
                         std::istringstream params("p");
                         std::stringstream result;
                         EXPECT_EQ(s.query(8, params, result), 5);
                         EXPECT_EQ(result.str(), "payload");
                         std::istringstream none;
                         std::stringstream ignored;
                         EXPECT_THROW(s.query(32768, none, ignored), zarvo::invalid_parameter);
                         EXPECT_THROW(s.query(-1, none, ignored), zarvo::invalid_parameter);
                         rig.answer(7);
                         std::istringstream nparams("n");
                         EXPECT_EQ(s.notify(255, nparams), 0); // not answered on USB
                         EXPECT_THROW(s.notify(256, none), zarvo::invalid_parameter);
                         const auto sent = rig.sent();
                         ASSERT_EQ(sent.size(), 2u);
                         EXPECT_EQ(sent[0].kind, exchange_request::query);
                         EXPECT_EQ(sent[0].payload, "p");
                         EXPECT_EQ(sent[1].kind, exchange_request::notification);
                         EXPECT_EQ(sent[1].id, 255);
                         // notify gives the device's answer: a notification of
                         // several reports may be refused with a code.
                         if (rig.refuse_long_notifications(202)) {
                             std::istringstream long_params(std::string(200, 'n'));
                             EXPECT_EQ(s.notify(1, long_params), 202);
                             rig.refuse_long_notifications(0);
                             std::istringstream accepted(std::string(200, 'n'));
                             EXPECT_EQ(s.notify(1, accepted), 0);
                         }
                     }});
    cases.push_back(
        {"CancelIsStickyAndFailsEveryExchangeAtItsStart", [](contract_rig& rig) {
             rig.session().cancel();
             for (const auto& o : {read_of("/A"), write_of("/A"), fetch_of("/A"), disk_space_op()})
                 expect_error(o, rig.session(), error<zarvo::operation_canceled>());
             EXPECT_TRUE(rig.sent().empty());
         }});
    cases.push_back({"CancelEndsAResendLoop",
                     [](contract_rig& rig) { cancel_after_sends(rig, remove_of("/A"), 3, 2); }});
    cases.push_back({"DeviceNotifications", [](contract_rig& rig) {
                         recording_logger log;
                         zarvo::add_trace_logger(&log);
                         protocol::PbZFtpFilesystemModifiedParams modified;
                         modified.set_action(protocol::CREATED);
                         modified.set_path("/A");
                         EXPECT_TRUE(rig.device_notification(0, modified.SerializeAsString()));
                         EXPECT_TRUE(rig.device_notification(0, garbage));
                         EXPECT_TRUE(rig.device_notification(1, ""));
                         EXPECT_TRUE(rig.device_notification(2, ""));
                         EXPECT_TRUE(rig.device_notification(3, battery(150))); // unchecked
                         EXPECT_TRUE(rig.device_notification(3, garbage));
                         EXPECT_TRUE(rig.device_notification(7, ""));
                         EXPECT_FALSE(rig.device_notification(5, ""));
                         auto& l = rig.listener();
                         const auto id = rig.session().device_id();
                         EXPECT_TRUE(l.wait_for(callback::idling, id));
                         EXPECT_TRUE(l.wait_for(callback::battery_status, id));
                         EXPECT_TRUE(l.wait_for(callback::sync_required, id));
                         EXPECT_EQ(l.records(callback::battery_status, id).at(0).level, 150);
                         EXPECT_EQ(traced(log, "FIXME: implement."), 1u);
                         EXPECT_EQ(traced(log, "Unidentified HID notification id 5."), 1u);
                         EXPECT_EQ(traced(log, "Failed to handle HID notification."), 1u);
                         zarvo::remove_trace_logger(&log);
                         EXPECT_EQ(l.count(callback::battery_status, id), 1);
                     }});
    return cases;
}

std::vector<contract_case> net_contract()
{
    auto cases = common_cases("TCP", "Dorvane");
    cases.push_back({"RefusalsAreErrors", [](contract_rig& rig) {
                         rig.answer(105);
                         expect_error(fetch_of("/F.BPB"), rig.session(),
                                      error<zarvo::file_exists>("", "/F.BPB"));
                         rig.answer(104);
                         expect_error(create_of("/D"), rig.session(),
                                      error<zarvo::directory_exists>("", "/D"));
                         rig.answer(103);
                         expect_error(remove_of("/X"), rig.session(),
                                      error<zarvo::no_such_file_or_directory>("", "/X"));
                     }});
    cases.push_back({"BusyIsAnUnknownCodeAndNotSentAgain", [](contract_rig& rig) {
                         std::vector<named_op> ops = file_operations();
                         ops.push_back({"disk_space", disk_space_op()});
                         for (const auto& o : ops) {
                             SCOPED_TRACE(o.name);
                             const auto before = rig.sent().size();
                             rig.answer(2);
                             expect_error(o.op, rig.session(),
                                          error<zarvo::bad_response>("Unknown error code 2."));
                             EXPECT_EQ(rig.sent().size() - before, 1u);
                         }
                     }});
    cases.push_back({"AnswerOne", [](contract_rig& rig) {
                         for (const auto& o : file_operations()) {
                             SCOPED_TRACE(o.name);
                             rig.answer(1, listing_bytes());
                             o.op(rig.session());
                         }
                         rig.answer(1, listing_bytes());
                         std::set<zarvo::entry> out;
                         EXPECT_TRUE(rig.session().fetch("/", out));
                         EXPECT_TRUE(out.empty());
                         rig.answer(1);
                         expect_error(disk_space_op(), rig.session(),
                                      error<zarvo::invalid_function>());
                     }});
    cases.push_back(
        {"AnswerCodes", [](contract_rig& rig) {
             auto rows = shared_code_rows();
             rows.push_back({101, error<zarvo::invalid_command>("Undefined invalid command.")});
             rows.push_back(
                 {106, error<zarvo::operation_not_permitted>("Operation not permitted.")});
             rows.push_back({107, error<zarvo::no_such_user>()});
             rows.push_back({300, error<zarvo::bad_response>("Unknown error code 300.")});
             answer_codes(rig, rows);
         }});
    cases.push_back({"ListingThatDoesNotParse", [](contract_rig& rig) {
                         rig.answer(0, garbage);
                         expect_error(fetch_of("/"), rig.session(),
                                      error<zarvo::invalid_parameter>());
                     }});
    // A network answer is either data (code 0) or a code: the link has no
    // frame that carries both, so the code and the payload are two rows. A
    // notification is not answered on the real link (the send's result);
    // the device here answers 0 so that every rig agrees.
    cases.push_back({"QueryGivesRawCodesAndNotifySends", [](contract_rig& rig) {
                         auto& s = dynamic_cast<zarvo::core::session&>(rig.session());
                         rig.answer(5);
                         std::istringstream params("p");
                         std::stringstream result;
                         EXPECT_EQ(s.query(8, params, result), 5);
                         rig.answer(0, "payload");
                         std::istringstream again("p");
                         EXPECT_EQ(s.query(8, again, result), 0);
                         EXPECT_EQ(result.str(), "payload");
                         rig.answer(0);
                         std::istringstream nparams("n");
                         EXPECT_EQ(s.notify(3, nparams), 0);
                         const auto sent = rig.sent();
                         ASSERT_EQ(sent.size(), 3u);
                         EXPECT_EQ(sent[2].kind, exchange_request::notification);
                         EXPECT_EQ(sent[2].id, 3);
                         EXPECT_EQ(sent[2].payload, "n");
                     }});
    cases.push_back({"ACancelFailsTheNextFileOperationOnce", [](contract_rig& rig) {
                         auto& s = rig.session();
                         s.cancel();
                         expect_error(read_of("/A"), s, error<zarvo::bad_response>("cancelled!"));
                         EXPECT_TRUE(rig.sent().empty());
                         read_of("/A")(s);
                         EXPECT_EQ(rig.sent().size(), 1u);
                     }});
    cases.push_back({"ACancelledTransferAlsoFailsTheNextFileOperation", [](contract_rig& rig) {
                         cancel_after_sends(rig, read_of("/A"), 1);
                         expect_error(write_of("/A"), rig.session(),
                                      error<zarvo::bad_response>("cancelled!"));
                         EXPECT_EQ(rig.sent().size(), 1u);
                     }});
    cases.push_back({"OnlyTheIdleNotificationCounts", [](contract_rig& rig) {
                         EXPECT_FALSE(rig.device_notification(3, battery(55)));
                         EXPECT_FALSE(rig.device_notification(7, ""));
                         EXPECT_TRUE(rig.device_notification(2, ""));
                         auto& l = rig.listener();
                         const auto id = rig.session().device_id();
                         EXPECT_TRUE(l.wait_returned(callback::idling, id));
                         EXPECT_EQ(l.count(callback::idling, id), 1);
                         EXPECT_EQ(l.count(callback::battery_status, id), 0);
                         EXPECT_EQ(l.count(callback::sync_required, id), 0);
                     }});
    return cases;
}

void PrintTo(const contract_param& p, std::ostream* os)
{
    *os << (p.kind == contract_kind::usb ? "USB-like " : "network-like ") << p.c.name;
}

std::vector<contract_param> contract_params(contract_kind kind)
{
    std::vector<contract_param> out;
    for (auto& c : kind == contract_kind::usb ? usb_contract() : net_contract())
        out.push_back({kind, std::move(c)});
    return out;
}

std::string contract_case_name(const ::testing::TestParamInfo<contract_param>& info)
{
    return info.param.c.name;
}

} // namespace zarvo::test
