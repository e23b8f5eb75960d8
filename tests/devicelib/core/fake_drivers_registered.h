#pragma once

// Include from one source of a test program: it registers the USB-like and
// network-like fake drivers from the program's own object (registrations in
// a static library can be dropped by the linker) and waits for the engine
// thread to end before the program exits.

#include "devicelib/core/driver_registry.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_device_drivers.h"

#include <gtest/gtest.h>

namespace {

const zarvo::core::driver_registration usb_registration{
    &zarvo::test::create_device_driver<zarvo::test::usb_like_driver>};
const zarvo::core::driver_registration net_registration{
    &zarvo::test::create_device_driver<zarvo::test::net_like_driver>};
const auto* const idle_at_end =
    ::testing::AddGlobalTestEnvironment(new zarvo::test::engine_idle_at_end);

} // namespace
