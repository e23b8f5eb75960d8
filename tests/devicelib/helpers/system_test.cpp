#include "devicelib/helpers/system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>

namespace {

using namespace zarvo::system;

TEST(System, ByteOrder)
{
    EXPECT_TRUE(little_endian());
    EXPECT_FALSE(big_endian());
}

TEST(System, LastErrorReadsErrno)
{
    errno = EACCES;
    EXPECT_EQ(last_error(), EACCES);
    errno = 0;
    EXPECT_EQ(last_error(), 0);
}

TEST(System, ErrorMessageIsEnglishWhateverTheLocale)
{
    // A translated locale, where the machine has one, must not leak through.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    std::string text = "previous";
    EXPECT_EQ(&error_message(ENOENT, text), &text);
    EXPECT_EQ(text, "No such file or directory");
    EXPECT_EQ(error_message(123456, text), "Unknown error 123456");

    errno = EEXIST;
    std::string last;
    EXPECT_EQ(error_message(last), "File exists");
    EXPECT_EQ(errno, EEXIST);
    std::setlocale(LC_ALL, "C");
}

} // namespace
