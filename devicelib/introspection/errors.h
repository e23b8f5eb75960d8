#pragma once

// Every error of the introspection and validation layer.
#include "devicelib/introspection/cast_error.h"
#include "devicelib/introspection/exception.h"
#include "devicelib/introspection/field_errors.h"
#include "devicelib/introspection/property_errors.h"
#include "devicelib/introspection/type2string.h"
#include "devicelib/introspection/type_errors.h"
#include "devicelib/introspection/validation_canceled.h"
#include "devicelib/introspection/value_errors.h"
