#include "connectlib/export.h"

// Keeps ktlib non-empty until its first sources land.
namespace ConnectLib {
namespace {
[[maybe_unused]] constexpr int placeholder = 0;
}
} // namespace ConnectLib
