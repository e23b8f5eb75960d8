#include "devicelib/proto/device_messages.h"

#include <google/protobuf/descriptor.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

// Each test runs in its own process, so this is the first use of the
// descriptors of "device.proto": both threads race to set them up.
TEST(SchemaFirstUse, TwoThreadsGetTheSameDescriptor)
{
    std::promise<void> go;
    std::shared_future<void> start = go.get_future().share();
    auto first_use = [start] {
        start.wait();
        return data::PbDeviceInfo::descriptor();
    };
    auto a = std::async(std::launch::async, first_use);
    auto b = std::async(std::launch::async, first_use);
    go.set_value();
    const auto* from_a = a.get();
    const auto* from_b = b.get();
    ASSERT_NE(from_a, nullptr);
    EXPECT_EQ(from_a, from_b);
    EXPECT_EQ(from_a, google::protobuf::DescriptorPool::generated_pool()->FindMessageTypeByName(
                          "data.PbDeviceInfo"));
}

} // namespace
