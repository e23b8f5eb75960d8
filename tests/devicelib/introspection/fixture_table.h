#pragma once

#include "devicelib/introspection/value_type_table.h"

#include <atomic>
#include <memory>
#include <string>

namespace zarvo::test {

// A table source over the JSON text given; reads counts every load.
inline introspection::table_source fixture_source(const std::string& json,
                                                  std::shared_ptr<std::atomic<int>> reads = nullptr)
{
    auto text = std::make_shared<const std::string>(json);
    return [text, reads](std::string_view& bytes) {
        if (reads)
            ++*reads;
        bytes = *text;
        return 0;
    };
}

// A source that fails with the errno-style code given.
inline introspection::table_source failing_source(int code)
{
    return [code](std::string_view&) { return code; };
}

} // namespace zarvo::test
