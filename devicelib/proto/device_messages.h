#pragma once

// The only way project code includes the device information messages.
//
// glibc's <sys/sysmacros.h> (pulled in by <libudev.h>, among others) defines
// function-like macros major() and minor(). Seen before the generated header
// they silently rename data::PbVersion::major() and minor(); seen after it,
// every call fails to compile. Dropping them here covers the first case; keep
// udev code in translation units that need no device messages for the second.
#ifdef major
#undef major
#endif
#ifdef minor
#undef minor
#endif

#include "devicelib/proto/device.pb.h"
