#pragma once

#include "devicelib/export.h"

#include <istream>
#include <memory>
#include <ostream>

namespace zarvo::io {

// What a zfilter does to the bytes passing through it. Any other value
// passes them through unchanged.
enum filter_action : int {
    decompress = -1, // removes a gzip layer
    compress = 1,    // adds a gzip layer
};

// Reads a device stream through a gzip filter. The wrapper owns the filtering
// stream; it can be moved but not copied (a moved-from wrapper holds none).
class ZARVO_EXPORT istream_zfilter {
public:
    istream_zfilter(std::istream& device, filter_action action);
    ~istream_zfilter();
    istream_zfilter(istream_zfilter&& other) noexcept;
    istream_zfilter& operator=(istream_zfilter&& other) noexcept;
    istream_zfilter(const istream_zfilter&) = delete;
    istream_zfilter& operator=(const istream_zfilter&) = delete;

    std::istream& stream() { return *stream_; }
    const std::istream& stream() const { return *stream_; }
    std::istream& operator*() { return *stream_; }
    const std::istream& operator*() const { return *stream_; }
    std::istream* operator->() { return stream_.get(); }
    const std::istream* operator->() const { return stream_.get(); }
    operator std::istream*() { return stream_.get(); }
    operator const std::istream*() const { return stream_.get(); }

private:
    std::unique_ptr<std::istream> stream_;
};

// Writes to a device stream through a gzip filter. The destructor completes
// the gzip stream and swallows any error doing so: a caller that must know
// flushes stream() and checks the device stream before.
class ZARVO_EXPORT ostream_zfilter {
public:
    ostream_zfilter(std::ostream& device, filter_action action);
    ~ostream_zfilter();
    ostream_zfilter(ostream_zfilter&& other) noexcept;
    ostream_zfilter& operator=(ostream_zfilter&& other) noexcept;
    ostream_zfilter(const ostream_zfilter&) = delete;
    ostream_zfilter& operator=(const ostream_zfilter&) = delete;

    std::ostream& stream() { return *stream_; }
    const std::ostream& stream() const { return *stream_; }
    std::ostream& operator*() { return *stream_; }
    const std::ostream& operator*() const { return *stream_; }
    std::ostream* operator->() { return stream_.get(); }
    const std::ostream* operator->() const { return stream_.get(); }
    operator std::ostream*() { return stream_.get(); }
    operator const std::ostream*() const { return stream_.get(); }

private:
    void finish() noexcept;

    std::unique_ptr<std::ostream> stream_;
};

} // namespace zarvo::io
