#include "devicelib/values/library_version.h"

#include <cstdio>
#include <string>

namespace zarvo {

namespace {
constexpr char release[] = "5.2.2";
constexpr unsigned int revision = 990;
} // namespace

unsigned int library_revision()
{
    return revision;
}

version library_version()
{
    // Built once; function-local statics are thread-safe.
    static const version value = [] {
        unsigned long numbers[3] = {};
        const int read = std::sscanf(release, "%lu.%lu.%lu", &numbers[0], &numbers[1], &numbers[2]);
        version v;
        if (read >= 1)
            v.major(static_cast<unsigned int>(numbers[0]));
        if (read >= 2)
            v.minor(static_cast<unsigned int>(numbers[1]));
        if (read >= 3)
            v.patch(static_cast<unsigned int>(numbers[2]));
        if (read >= 1)
            v.specifier("r" + std::to_string(library_revision()));
        return v;
    }();
    return value;
}

} // namespace zarvo
