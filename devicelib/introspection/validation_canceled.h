#pragma once

#include "devicelib/errors/error_shapes.h"
#include "devicelib/errors/exception.h"
#include "devicelib/export.h"
#include "devicelib/introspection/exception.h"

#include <string>

namespace zarvo::introspection {

// The auditor stopped a validation at the field named.
class ZARVO_EXPORT validation_canceled : public zarvo::interrupted, public exception {
public:
    validation_canceled(int data_type, const std::string& path, const std::string& name);
    validation_canceled(int data_type, const std::string& path, const std::string& name,
                        const std::exception& cause);
    validation_canceled(const validation_canceled& other);
    validation_canceled& operator=(const validation_canceled&) = delete;
    ZARVO_ERROR_CONCRETE(validation_canceled)
};

} // namespace zarvo::introspection
