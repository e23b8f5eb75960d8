#pragma once

// Every error class of the device library.

#include "devicelib/errors/connection_errors.h"
#include "devicelib/errors/device_errors.h"
#include "devicelib/errors/exception.h"
#include "devicelib/errors/general_errors.h"
#include "devicelib/errors/host_errors.h"
#include "devicelib/errors/protocol_errors.h"
#include "devicelib/errors/system_errors.h"
