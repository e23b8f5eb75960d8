#pragma once

#include <cstddef>
#include <streambuf>

namespace zarvo::test {

// An output buffer that takes `capacity` bytes and fails every write after
// them: a local file that cannot be written to the end.
class limited_buffer : public std::streambuf {
public:
    explicit limited_buffer(std::size_t capacity)
        : left_(capacity)
    {
    }

protected:
    int_type overflow(int_type c) override
    {
        if (left_ == 0 || traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::eof();
        --left_;
        return c;
    }

private:
    std::size_t left_;
};

} // namespace zarvo::test
