#pragma once

// The device emulator for tests that also include Qt headers: its device
// model has a member named emit, which Qt defines as an empty keyword macro.
#ifdef emit
#undef emit
#include "tools/emulator/device_model.h"
#define emit
#else
#include "tools/emulator/device_model.h"
#endif
#include "tools/emulator/usb_hub.h"
