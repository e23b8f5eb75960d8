#include "connectlib/worker/byte_array_streams.h"

#include <limits>
#include <stdexcept>

namespace ConnectLib {

namespace {
// QByteArray's own limit, less its terminating byte and header.
constexpr std::streamsize maxArraySize = std::numeric_limits<int>::max() - 64;
} // namespace

ByteArraySink::ByteArraySink(QByteArray& target)
    : m_target(target)
{
}

ByteArraySink::int_type ByteArraySink::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize ByteArraySink::xsputn(const char* s, std::streamsize n)
{
    if (n <= 0)
        return 0;
    if (n > maxArraySize - m_target.size())
        throw std::length_error("File too large to hold in memory");
    // The array grows geometrically and, once large, by reallocation in
    // place, so the time stays linear in the size.
    m_target.append(s, int(n));
    return n;
}

ByteArraySink::pos_type ByteArraySink::seekoff(off_type off, std::ios_base::seekdir dir,
                                               std::ios_base::openmode which)
{
    if (off == 0 && dir != std::ios_base::beg && (which & std::ios_base::out))
        return pos_type(off_type(m_target.size()));
    return pos_type(off_type(-1));
}

ByteArraySource::ByteArraySource(const QByteArray& source)
{
    // The get area is never written through.
    char* begin = const_cast<char*>(source.constData());
    setg(begin, begin, begin + source.size());
}

ByteArraySource::pos_type ByteArraySource::seekoff(off_type off, std::ios_base::seekdir dir,
                                                   std::ios_base::openmode which)
{
    if (!(which & std::ios_base::in))
        return pos_type(off_type(-1));
    off_type base = 0;
    if (dir == std::ios_base::cur)
        base = gptr() - eback();
    else if (dir == std::ios_base::end)
        base = egptr() - eback();
    const off_type target = base + off;
    if (target < 0 || target > egptr() - eback())
        return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
}

ByteArraySource::pos_type ByteArraySource::seekpos(pos_type pos, std::ios_base::openmode which)
{
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

} // namespace ConnectLib
