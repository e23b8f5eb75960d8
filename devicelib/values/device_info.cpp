#include "devicelib/values/device_info.h"

namespace zarvo {

device_info::device_info() = default;

device_info::device_info(const std::string& model, const version& bootloader,
                         const version& platform, const version& firmware,
                         const std::string& product_color, const std::string& product_design)
    : model_(model)
    , bootloader_(bootloader)
    , platform_(platform)
    , firmware_(firmware)
    , product_color_(product_color)
    , product_design_(product_design)
{
}

} // namespace zarvo
