#pragma once

#include <QByteArray>

#include <streambuf>

namespace ConnectLib {

// Stream buffers that let the device library read from and write into a
// QByteArray directly, so a file moves through the worker without a further
// whole copy (a string stream's buffer, its string, then the array).

// Appends everything written to the array. A write that would pass the
// array's size limit throws std::length_error.
class ByteArraySink : public std::streambuf {
public:
    explicit ByteArraySink(QByteArray& target);

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    // Only the position, for tellp.
    pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                     std::ios_base::openmode which) override;

private:
    QByteArray& m_target;
};

// Reads the array's bytes in place; seekable, so a reader may learn the
// size. The array must outlive the buffer unchanged.
class ByteArraySource : public std::streambuf {
public:
    explicit ByteArraySource(const QByteArray& source);

protected:
    pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                     std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;
};

} // namespace ConnectLib
