#pragma once

// What a device tells about itself: model, three versions and two product
// texts.

#include "devicelib/export.h"
#include "devicelib/values/version.h"

#include <string>

namespace zarvo {

class ZARVO_EXPORT device_info {
public:
    device_info();
    device_info(const std::string& model, const version& bootloader, const version& platform,
                const version& firmware, const std::string& product_color,
                const std::string& product_design);

    const std::string& model() const { return model_; }
    const version& bootloader() const { return bootloader_; }
    const version& platform() const { return platform_; }
    const version& firmware() const { return firmware_; }
    const std::string& product_color() const { return product_color_; }
    const std::string& product_design() const { return product_design_; }

    void model(const std::string& value) { model_ = value; }
    void bootloader(const version& value) { bootloader_ = value; }
    void platform(const version& value) { platform_ = value; }
    void firmware(const version& value) { firmware_ = value; }
    void product_color(const std::string& value) { product_color_ = value; }
    void product_design(const std::string& value) { product_design_ = value; }

private:
    std::string model_;
    version bootloader_;
    version platform_;
    version firmware_;
    std::string product_color_;
    std::string product_design_;
};

} // namespace zarvo
