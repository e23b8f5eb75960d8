#include "tests/support/hex.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

using namespace zarvo::test;

TEST(TestSupport, HexRoundTripsAndRejectsOddDigits)
{
    EXPECT_EQ(from_hex("00 7f80 ff"), std::string("\x00\x7f\x80\xff", 4));
    EXPECT_EQ(to_hex(std::string("\x00\x7f\x80\xff", 4)), "007f80ff");
    EXPECT_THROW(from_hex("abc"), std::invalid_argument);
    EXPECT_THROW(from_hex("zz"), std::invalid_argument);
}

TEST(TestSupport, TempDirIsPrivateAndRemoved)
{
    std::filesystem::path kept;
    {
        temp_dir a, b;
        EXPECT_NE(a.path(), b.path());
        std::ofstream(a / "f") << "x";
        kept = a.path();
        EXPECT_TRUE(std::filesystem::exists(kept / "f"));
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}
