#pragma once

// The device emulator for tests that also include Qt headers: its device
// model has a member named emit, which Qt defines as an empty keyword macro.
// The model-backed links come before the USB hub: they name the model's
// namespace from inside zarvo::, where the hub's namespace would hide it.
#ifdef emit
#undef emit
#include "tools/emulator/device_model.h"
#define emit
#else
#include "tools/emulator/device_model.h"
#endif
#include "tests/support/model_links.h"
#include "tools/emulator/usb_hub.h"
