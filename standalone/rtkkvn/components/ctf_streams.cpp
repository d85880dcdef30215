#include "rtkkvn/components/ctf_streams.hpp"

#include <boost/iostreams/device/array.hpp>
#include <boost/iostreams/stream_buffer.hpp>
#include <boost/make_shared.hpp>
#include <boost/numeric/conversion/cast.hpp>
#include <exception>
#include <fstream>
#include <string>

#include "fs/file_operations.hpp"
#include "fs/module_path.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/error_capture.hpp"
#include "util/text_conversion.hpp"

namespace {

constexpr char kStreamErrorId[] = "RTK:CtfStreamExtractor";
constexpr char kStreamSourceTag[] = "standalone/rtkkvn/rtkctfstreamextractor";
// The lines the catch-all message names for the two C functions.
constexpr int kArraySourceLine = 176;
constexpr int kEmbeddedStreamLine = 264;

typedef boost::iostreams::stream_buffer<boost::iostreams::basic_array_source<char>>
    ArrayStreamBuffer;
typedef boost::iostreams::stream_buffer<NInputStreamProxySource> CallbackStreamBuffer;

// A stream over bytes it owns. The stream is declared after the bytes, so it is destroyed first
// and never sees them freed.
struct OwnedBytesStream {
  std::unique_ptr<char[]> bytes;
  rtkCtfStreamPtr stream;
};

// The narrow file name behind a wide module path. The file services carry a byte that is not
// UTF-8 as U+DC00 plus the byte; it becomes that byte again, so every Linux file name can be
// opened. Everything else is ordinary text.
std::string narrowFileName(const std::wstring& path) {
  std::string narrow;
  std::wstring::size_type start = 0;
  for (std::wstring::size_type i = 0; i <= path.size(); ++i) {
    const bool rawByte = i < path.size() && path[i] >= 0xDC80 && path[i] <= 0xDCFF;
    if (i < path.size() && !rawByte) continue;
    narrow += fl::i18n::to_string(path.substr(start, i - start));
    if (rawByte) narrow += static_cast<char>(path[i] - 0xDC00);
    start = i + 1;
  }
  return narrow;
}

rtkCtfStreamPtr* openModuleStream(const char* modulePath) {
  std::string path;
  if (modulePath) {
    // File names are bytes here: the caller's name is opened as given.
    path = modulePath;
  } else {
    std::wstring mainModule;
    if (!dsGetCurrentModulePath(nullptr, mainModule)) return nullptr;
    path = narrowFileName(mainModule);
  }
  // Opening a folder for reading succeeds on Linux; it is no module file all the same.
  if (dsIsDirectory(path)) return nullptr;
  const boost::shared_ptr<std::ifstream> stream =
      boost::make_shared<std::ifstream>(path, std::ios::in | std::ios::binary);
  if (!stream->good()) return nullptr;
  return new rtkCtfStreamPtr(stream);
}

}  // namespace

rtkAutoStream::rtkAutoStream(std::streambuf* buffer) : std::istream(buffer), buffer(buffer) {}

rtkAutoStream::~rtkAutoStream() = default;

std::streamsize NInputStreamProxySource::read(char* buffer, std::streamsize count) {
  if (!readFunction) return -1;
  try {
    const int delivered = readFunction(buffer, boost::numeric_cast<int>(count));
    if (delivered < 0) return -1;
    return delivered > count ? count : delivered;
  } catch (const std::exception&) {
    return -1;
  }
}

rtkCtfStreamPtr rtkGetCtfStreamFromArraySrc(const char* data, int size) {
  if (!data || size < 1) return rtkCtfStreamPtr();
  std::unique_ptr<ArrayStreamBuffer> buffer(
      new ArrayStreamBuffer(data, static_cast<std::size_t>(size)));
  const boost::shared_ptr<rtkAutoStream> stream = boost::make_shared<rtkAutoStream>(buffer.get());
  buffer.release();
  return stream;
}

rtkCtfStreamPtr rtkGetCtfStreamFromCallBack(rtkCtfReadFunction read, std::uint64_t size) {
  try {
    const boost::shared_ptr<OwnedBytesStream> owner = boost::make_shared<OwnedBytesStream>();
    {
      CallbackStreamBuffer buffer{NInputStreamProxySource(read)};
      std::istream input(&buffer);
      // Not value-initialised: every byte is either read or the copy is given up.
      owner->bytes.reset(new char[size]);
      // No allocation succeeds above the largest stream count, so the cast stays positive.
      input.read(owner->bytes.get(), static_cast<std::streamsize>(size));
      if (static_cast<std::uint64_t>(input.gcount()) < size) return rtkCtfStreamPtr();
    }
    // Memory streams are addressed with an int; the bytes are read before this is checked.
    const int length = boost::numeric_cast<int>(size);
    owner->stream = rtkGetCtfStreamFromArraySrc(owner->bytes.get(), length);
    if (!owner->stream) return rtkCtfStreamPtr();
    // Shares owner's count: the bytes live exactly as long as the stream's last pointer.
    return rtkCtfStreamPtr(owner, owner->stream.get());
  } catch (...) {
    return rtkCtfStreamPtr();
  }
}

extern "C" {

void* rtkGetStreamFromArraySrc(const char* data, int size) {
  return rtkCaptureErrors(
      rtkBoundary{kStreamErrorId, kStreamSourceTag, kArraySourceLine}, static_cast<void*>(nullptr),
      [&]() -> void* { return new rtkCtfStreamPtr(rtkGetCtfStreamFromArraySrc(data, size)); });
}

void* rtkGetEmbeddedCtfStream(const char* modulePath) {
  return rtkCaptureErrors(rtkBoundary{kStreamErrorId, kStreamSourceTag, kEmbeddedStreamLine},
                          static_cast<void*>(nullptr),
                          [&]() -> void* { return openModuleStream(modulePath); });
}

void rtkDestroyStream(void* handle) {
  if (!handle) return;
  delete static_cast<rtkCtfStreamPtr*>(handle);
}

}  // extern "C"
