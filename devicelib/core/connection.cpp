#include "devicelib/core/connection.h"

#include "devicelib/errors/errors.h"

namespace zarvo::core {

connection::~connection() = default;

connection::placement_type connection::placement()
{
    throw zarvo::not_implemented("Device's placement is not known.");
}

} // namespace zarvo::core
