#pragma once

#include "devicelib/core/core_session.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/message_io.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/model_links.h"
#include "tools/emulator/device_model.h"

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace zarvo::test {

// A core session made by hand with one model-backed connection of a kind.
class command_fixture {
public:
    explicit command_fixture(link_kind kind = link_kind::usb_like)
        : model(std::make_shared<emulator::device_model>())
        , link(kind, model)
        , session(device.id())
    {
        session.add_connection(&link.connection(), true);
    }

    // The host's requests of a kind, in order.
    std::vector<emulator::exchange_record> sent(emulator::exchange_kind kind) const
    {
        std::vector<emulator::exchange_record> out;
        for (const auto& line : model->transcript())
            if (line.kind == kind && line.way == emulator::direction::host_to_device)
                out.push_back(line);
        return out;
    }

    test_device device;
    std::shared_ptr<emulator::device_model> model;
    model_link link;
    zarvo::core::session session;
};

inline std::string bytes_of(const google::protobuf::Message& message)
{
    std::ostringstream out;
    zarvo::write_message(message, out);
    return out.str();
}

// The text of the error f raises, or what went wrong instead.
template <typename Error, typename F>
std::string error_text(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        if constexpr (std::is_same_v<Error, std::exception>)
            return e.what();
        else if (dynamic_cast<const Error*>(&e))
            return e.what();
        return std::string("unexpected error: ") + e.what();
    }
    return "no error";
}

} // namespace zarvo::test
