#pragma once

#include <filesystem>

namespace zarvo::test {

// A fresh directory per test; tests run as parallel processes, so none of
// them may share a fixed path. Removed with everything in it on destruction.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

private:
    std::filesystem::path path_;
};

} // namespace zarvo::test
