// Costs of the message conventions: writing a file-operation head, reading
// query results and directory listings, and reading a field's data type.
#include "devicelib/proto/message_io.h"
#include "devicelib/proto/types.pb.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <benchmark/benchmark.h>
#include <google/protobuf/descriptor.pb.h>

#include <sstream>
#include <string>

namespace {

std::string serialized(const google::protobuf::Message& message)
{
    std::ostringstream out;
    zarvo::write_message(message, out);
    return out.str();
}

template <typename M>
void read_bytes(benchmark::State& state, const std::string& bytes)
{
    for (auto _ : state) {
        std::istringstream in(bytes);
        M message;
        benchmark::DoNotOptimize(zarvo::read_message(in, message));
    }
}

void BM_write_operation_head(benchmark::State& state)
{
    for (auto _ : state) {
        protocol::PbZFtpOperation head;
        head.set_command(protocol::PbZFtpOperation::GET);
        head.set_path("/U/0/USERID.BPB");
        std::ostringstream out;
        benchmark::DoNotOptimize(zarvo::write_message(head, out));
    }
}
BENCHMARK(BM_write_operation_head);

void BM_read_disk_space_result(benchmark::State& state)
{
    protocol::PbZFtpDiskSpaceResult space;
    space.set_fragment_size(4096);
    space.set_total_fragments(1u << 20);
    space.set_free_fragments(123456);
    read_bytes<protocol::PbZFtpDiskSpaceResult>(state, serialized(space));
}
BENCHMARK(BM_read_disk_space_result);

void BM_read_local_time_result(benchmark::State& state)
{
    protocol::PbZFtpGetLocalTimeResult time;
    time.mutable_date()->set_year(2024);
    time.mutable_date()->set_month(6);
    time.mutable_date()->set_day(30);
    time.mutable_time()->set_hour(23);
    time.mutable_time()->set_minute(59);
    time.mutable_time()->set_seconds(58);
    time.mutable_time()->set_millis(999);
    time.set_tz_offset(-300);
    read_bytes<protocol::PbZFtpGetLocalTimeResult>(state, serialized(time));
}
BENCHMARK(BM_read_local_time_result);

void BM_read_directory(benchmark::State& state)
{
    protocol::PbZFtpDirectory listing;
    for (int i = 0; i < state.range(0); ++i) {
        auto* entry = listing.add_entries();
        entry->set_name("E" + std::to_string(i) + (i % 4 == 0 ? "/" : ".BPB"));
        entry->set_size(static_cast<uint64_t>(i) * 512);
    }
    read_bytes<protocol::PbZFtpDirectory>(state, serialized(listing));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_read_directory)->Arg(1000)->Arg(10000);

// Warm lookup of a field's data type by the option's name, as the validation
// walk does it for every set field.
void BM_type_option_by_name(benchmark::State& state)
{
    const auto* field = PbDate::descriptor()->FindFieldByName("year");
    for (auto _ : state) {
        const google::protobuf::Message& options = field->options();
        const auto* reflection = options.GetReflection();
        const auto* extension = reflection->FindKnownExtensionByName("type");
        const google::protobuf::EnumValueDescriptor* value = nullptr;
        if (extension && reflection->HasField(options, extension))
            value = reflection->GetEnum(options, extension);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_type_option_by_name);

} // namespace
