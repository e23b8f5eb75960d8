#include "devicelib/clock/clock.h"

#include <climits>

namespace zarvo {

bool is_timezone(int minutes)
{
    return minutes >= -720 && minutes <= 840;
}

int no_timezone()
{
    return INT_MIN;
}

bool has_timezone(const local_time& value)
{
    return is_timezone(value.timezone);
}

} // namespace zarvo
