#pragma once

// The device model for tests that also include Qt headers: it has a member
// named emit, which Qt defines as an empty keyword macro.
#ifdef emit
#undef emit
#include "tools/emulator/device_model.h"
#define emit
#else
#include "tools/emulator/device_model.h"
#endif
