#pragma once

#include <string>

// Pieces that several introspection error texts share. Internal.
namespace zarvo::introspection::detail {

// "<type name> field '<path>'." as in "... at uint32 field 'p'."
std::string typed_field(int data_type, const std::string& path);

} // namespace zarvo::introspection::detail
