#include "devicelib/helpers/zfilter.h"

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

// The filter for the action, if any, then the caller's stream as the device.
template <typename Chain, typename Device>
std::unique_ptr<Chain> make_chain(Device& device, filter_action action)
{
    auto chain = std::make_unique<Chain>();
    if (action == decompress)
        chain->push(bio::gzip_decompressor(15, buffer_size), buffer_size);
    else if (action == compress)
        chain->push(bio::gzip_compressor(gzip_parameters(), buffer_size), buffer_size);
    chain->push(device);
    return chain;
}

} // namespace

istream_zfilter::istream_zfilter(std::istream& device, filter_action action)
{
    stream_ = make_chain<bio::filtering_istream>(device, action);
}

istream_zfilter::~istream_zfilter() = default;
istream_zfilter::istream_zfilter(istream_zfilter&& other) noexcept = default;
istream_zfilter& istream_zfilter::operator=(istream_zfilter&& other) noexcept = default;

ostream_zfilter::ostream_zfilter(std::ostream& device, filter_action action)
{
    stream_ = make_chain<bio::filtering_ostream>(device, action);
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
