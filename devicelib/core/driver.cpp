#include "devicelib/core/driver.h"

namespace zarvo::core {

driver::~driver() = default;

void driver::suspend()
{
    stop();
}

void driver::resume()
{
    start();
}

} // namespace zarvo::core
