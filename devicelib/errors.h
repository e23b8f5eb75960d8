#pragma once

// Every error class of the device library.

#include "devicelib/connection_errors.h"
#include "devicelib/device_errors.h"
#include "devicelib/exception.h"
#include "devicelib/general_errors.h"
#include "devicelib/host_errors.h"
#include "devicelib/protocol_errors.h"
#include "devicelib/system_errors.h"
