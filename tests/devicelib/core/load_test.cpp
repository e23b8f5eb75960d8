// Loading the shared library runs only static set-up.
#include "devicelib/core/driver_registry.h"
#include "tests/support/fake_driver.h"

#include <gtest/gtest.h>

#include <dirent.h>

namespace {

const zarvo::core::driver_registration reg{&zarvo::test::create_fake_driver<0>};

int thread_count()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(dir))
            count += e->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

TEST(LibraryLoad, StartsNoThreadAndCreatesNoEngine)
{
    EXPECT_EQ(thread_count(), 1);
    // The engine creates its drivers when it is created.
    EXPECT_EQ(zarvo::test::fake_driver_control::instance().created(0), 0);
}

} // namespace
