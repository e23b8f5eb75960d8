#include "devicelib/introspection/validation_canceled.h"

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
validation_canceled::~validation_canceled() = default;

std::exception& validation_canceled::std_base()
{
    return *this;
}
const std::exception& validation_canceled::std_base() const
{
    return *this;
}

} // namespace zarvo::introspection
