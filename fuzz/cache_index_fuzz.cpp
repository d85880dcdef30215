// Feeds arbitrary bytes to the cache index reader: the index file lies in a folder that other
// processes, crashes and editors may have left in any state. Besides not crashing, the reader may
// only refuse with CacheIndexFormatError, and every record it returned (also before a refusal)
// must survive the writer: written and read again it gives the same entries and the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "rtkkvn/kvn_cache/cache_index_format.hpp"

namespace {

// The records of text, as far as the reader accepts them.
std::vector<CacheIndexEntry> readRecords(const std::string& text, bool& complete) {
  CacheIndexReader reader(text);
  std::vector<CacheIndexEntry> entries;
  complete = true;
  try {
    CacheIndexEntry entry;
    while (reader.next(entry)) entries.push_back(entry);
  } catch (const CacheIndexFormatError&) {
    complete = false;
  }
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  bool complete;
  const std::vector<CacheIndexEntry> entries = readRecords(text, complete);

  std::string written;
  for (const CacheIndexEntry& entry : entries) {
    if (!isStorableCacheIndexEntry(entry)) abort();
    written += cacheIndexRecordText(entry);
    boost::posix_time::ptime time;
    if (!parseCacheTime(formatCacheTime(entry.lastUsed), time) || time != entry.lastUsed) abort();
  }
  bool againComplete;
  const std::vector<CacheIndexEntry> again = readRecords(written, againComplete);
  if (!againComplete || again != entries) abort();
  std::string rewritten;
  for (const CacheIndexEntry& entry : again) rewritten += cacheIndexRecordText(entry);
  if (rewritten != written) abort();
  return 0;
}
