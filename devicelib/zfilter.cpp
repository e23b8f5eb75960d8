#include "devicelib/zfilter.h"

#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>

namespace zarvo::io {
namespace {

namespace bio = boost::iostreams;

// Boost's defaults, spelt out: they fix the bytes written.
constexpr std::streamsize buffer_size = 4096;

bio::gzip_params gzip_parameters()
{
    bio::gzip_params p(bio::gzip::default_compression, bio::gzip::deflated, 15, 8,
                       bio::gzip::default_strategy);
    p.file_name = "";
    p.comment = "";
    p.mtime = 0;
    return p;
}

} // namespace

istream_zfilter::istream_zfilter(std::istream& device, filter_action action)
{
    auto s = std::make_unique<bio::filtering_istream>();
    if (action == decompress)
        s->push(bio::gzip_decompressor(15, buffer_size), buffer_size);
    else if (action == compress)
        s->push(bio::gzip_compressor(gzip_parameters(), buffer_size), buffer_size);
    s->push(device);
    stream_ = std::move(s);
}

istream_zfilter::~istream_zfilter() = default;
istream_zfilter::istream_zfilter(istream_zfilter&& other) noexcept = default;
istream_zfilter& istream_zfilter::operator=(istream_zfilter&& other) noexcept = default;

ostream_zfilter::ostream_zfilter(std::ostream& device, filter_action action)
{
    auto s = std::make_unique<bio::filtering_ostream>();
    if (action == decompress)
        s->push(bio::gzip_decompressor(15, buffer_size), buffer_size);
    else if (action == compress)
        s->push(bio::gzip_compressor(gzip_parameters(), buffer_size), buffer_size);
    s->push(device);
    stream_ = std::move(s);
}

ostream_zfilter::~ostream_zfilter()
{
    finish();
}

ostream_zfilter::ostream_zfilter(ostream_zfilter&& other) noexcept = default;

ostream_zfilter& ostream_zfilter::operator=(ostream_zfilter&& other) noexcept
{
    if (this != &other) {
        finish();
        stream_ = std::move(other.stream_);
    }
    return *this;
}

// Closing the chain writes the gzip trailer and flushes it to the device.
void ostream_zfilter::finish() noexcept
{
    if (!stream_)
        return;
    try {
        static_cast<bio::filtering_ostream&>(*stream_).reset();
    } catch (...) {
    }
    stream_.reset();
}

} // namespace zarvo::io
