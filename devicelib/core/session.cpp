#include "devicelib/core/session.h"

namespace zarvo {

session::~session() = default;

std::int64_t session::timestamp() const
{
    return 0;
}

} // namespace zarvo
