#pragma once
// Input streams over the places a component archive can come from: a block of the caller's
// memory, bytes pulled through a read callback, and a module file (the C functions of
// include/rtkkvn.h). They feed rtkMakeCtfStreamExtractor.
//
// Streams are held by boost::shared_ptr and live as long as the last copy of the pointer. They
// are not safe for concurrent reads.
//
// A stream handle of the C interface is the address of a heap-held
// boost::shared_ptr<std::istream> (rtkCtfStreamPtr below); it is made by
// rtkGetStreamFromArraySrc or rtkGetEmbeddedCtfStream, may hold an empty pointer, and is freed
// only by rtkDestroyStream.

#include <boost/iostreams/categories.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <ios>
#include <istream>
#include <memory>
#include <streambuf>

#include "rtkkvn.h"
#include "rtkkvn/export.hpp"

typedef boost::shared_ptr<std::istream> rtkCtfStreamPtr;

// A read callback (rtkCtfReadFunction of rtkkvn.h): writes up to count bytes into buffer and
// returns how many it wrote; 0 or -1 when there are no more.

// An input stream that owns its stream buffer and deletes it with itself. Exported as a whole:
// its objects are handed to hosts as std::istream.
class RTKKVN_EXPORT rtkAutoStream : public std::istream {
 public:
  // Takes ownership of buffer.
  explicit rtkAutoStream(std::streambuf* buffer);
  ~rtkAutoStream() override;
  rtkAutoStream(const rtkAutoStream&) = delete;
  rtkAutoStream& operator=(const rtkAutoStream&) = delete;

 private:
  std::unique_ptr<std::streambuf> buffer;
};

// A Boost.Iostreams source over a read callback. Each request for n bytes calls read once, with
// n as an int. The answer is taken as the number of bytes delivered, except that an answer above
// n counts as n (the stream buffer would otherwise look past what was written) and any negative
// answer as -1, the end of the input. A request that does not fit an int, and a std::exception
// thrown by the callback, also count as -1; other exceptions pass on.
class NInputStreamProxySource {
 public:
  typedef char char_type;
  typedef boost::iostreams::source_tag category;

  explicit NInputStreamProxySource(rtkCtfReadFunction read) : readFunction(read) {}
  std::streamsize read(char* buffer, std::streamsize count);

 private:
  rtkCtfReadFunction readFunction;
};

// A seekable stream over [data, data + size), read in place: nothing is copied, and the bytes
// must stay valid and unchanged while any copy of the pointer lives. The stream never writes to
// them. An empty pointer when data is null or size is below 1.
RTKKVN_EXPORT rtkCtfStreamPtr rtkGetCtfStreamFromArraySrc(const char* data, int size);

// A seekable stream over a copy of exactly size bytes pulled through read. The copy belongs to
// the stream and is freed with the last copy of the pointer. An empty pointer (never an
// exception) when read delivers fewer than size bytes, when size is 0 or not below 2^31 (the
// bytes are read first all the same), and on any error while the copy is made (memory, a
// callback that throws).
RTKKVN_EXPORT rtkCtfStreamPtr rtkGetCtfStreamFromCallBack(rtkCtfReadFunction read,
                                                          std::uint64_t size);
