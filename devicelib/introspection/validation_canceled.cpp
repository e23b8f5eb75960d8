#include "devicelib/introspection/validation_canceled.h"

#include "devicelib/errors/error_definitions.h"

namespace zarvo::introspection {

validation_canceled::validation_canceled(int data_type, const std::string& path,
                                         const std::string& name)
    : zarvo::interrupted("Validation canceled.")
    , introspection::exception(data_type, path, name)
{
}

validation_canceled::validation_canceled(int data_type, const std::string& path,
                                         const std::string& name, const std::exception&)
    : validation_canceled(data_type, path, name)
{
}

validation_canceled::validation_canceled(const validation_canceled&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(validation_canceled, zarvo::interrupted)

} // namespace zarvo::introspection
