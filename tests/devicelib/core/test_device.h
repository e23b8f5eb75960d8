#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace zarvo::test {

// A device id that no other test process uses at the same time, and the
// shared-memory object of its lock, which is removed when this goes away.
// Lock objects are machine-wide and ctest runs test processes in parallel.
class test_device {
public:
    test_device();
    ~test_device();
    test_device(const test_device&) = delete;
    test_device& operator=(const test_device&) = delete;

    std::uint64_t id() const { return id_; }
    // Where the lock object of this device shows up.
    std::string shm_path() const;

    // Puts a lock object of this size in place before a session opens it,
    // with the initialisation state written at offset 0 when it fits.
    void plant(std::size_t size, std::uint32_t state) const;
    // The object's bytes as they are now (empty when it does not exist).
    std::vector<unsigned char> bytes() const;

private:
    std::uint64_t id_;
};

} // namespace zarvo::test
