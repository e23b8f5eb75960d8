// The udev rules file the project installs: one rule for the devices the USB
// driver accepts, and the install script's copy of it.
#include "devicelib/usb/hid_driver.h"
#include "devicelib/usb/vendor_id.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> rules_of(const std::string& text)
{
    std::vector<std::string> rules;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto start = line.find_first_not_of(" \t");
        if (start != std::string::npos && line[start] != '#')
            rules.push_back(line);
    }
    return rules;
}

std::string hex4(unsigned value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

const std::filesystem::path rules_file = RAVO_UDEV_RULES;

TEST(UdevRules, OneRuleForTheDevicesTheDriverAccepts)
{
    const std::vector<std::string> rules = rules_of(read_file(rules_file));
    ASSERT_EQ(rules.size(), 1u);
    const std::string& rule = rules.front();
    std::smatch match;
    ASSERT_TRUE(
        std::regex_search(rule, match, std::regex(R"re(ATTRS\{idVendor\}=="([0-9a-f]{4})")re")));
    EXPECT_EQ(match[1], hex4(zarvo::usb::device_vendor_id));
    ASSERT_TRUE(
        std::regex_search(rule, match, std::regex(R"re(ATTRS\{idProduct\}=="([0-9a-f]{4})")re")));
    EXPECT_EQ(match[1], hex4(zarvo::usb::hid_driver::accepted_product_id));
    EXPECT_NE(rule.find(R"(SUBSYSTEM=="hidraw")"), std::string::npos);
    EXPECT_NE(rule.find(R"(KERNEL=="hidraw*")"), std::string::npos);
    EXPECT_NE(rule.find(R"(TAG+="uaccess")"), std::string::npos);
}

TEST(UdevRules, InstallScriptCopiesTheFileByteForByteIntoDest)
{
    char pattern[] = "/tmp/udev-rules-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path dest = std::filesystem::path(pattern) / "rules.d";
    const std::string command =
        std::string("'") + RAVO_INSTALL_UDEV_RULES + "' --dest '" + dest.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::filesystem::path copy = dest / rules_file.filename();
    EXPECT_EQ(read_file(copy), read_file(rules_file));
    EXPECT_FALSE(read_file(copy).empty());
    EXPECT_NE(std::system((std::string("'") + RAVO_INSTALL_UDEV_RULES + "' --dest").c_str()), 0)
        << "--dest without a folder is refused";
    std::filesystem::remove_all(pattern);
}

} // namespace
