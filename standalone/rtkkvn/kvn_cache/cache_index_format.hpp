#pragma once
// The text form of the component cache's index file ".kvn_cache_index", and the clock its time
// stamps come from. Depends on nothing but the standard library and Boost.Date_Time, so that the
// record reader can be built and fuzzed on its own.
//
// The file is a sequence of records without header, count or end marker. A record is four lines,
// each ended by one line feed:
//   id          the component id, as is
//   dirName     the name of the component's folder inside the cache directory, as is
//   size        unsigned decimal, no sign, no leading zeros
//   lastUsed    "2013-Jan-30 14:05:09.250000" (UTC; ".ffffff" only when the fraction is not
//               zero), or "not-a-date-time"
// An index without entries is an empty file.
//
// The file may have been damaged or written by someone else, so the reader trusts nothing in it:
// lines longer than kMaxCacheIndexLineLength, files of more than kMaxCacheIndexRecords records
// and files larger than kMaxCacheIndexFileSize are refused as corrupt, which keeps the memory a reader uses bounded whatever the file holds.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <ostream>
#include <string>
#include <string_view>

// One cached component.
struct CacheIndexEntry {
  CacheIndexEntry() = default;
  // A new entry: the given id, no folder yet, size 0, never used.
  explicit CacheIndexEntry(const std::string& componentId) : id(componentId) {}

  // The component id (see rtkkvn::CtfExtractor::get_component_id).
  std::string id;
  // One path element: the component's folder inside the cache directory.
  std::string dirName;
  // Bytes the extracted component occupies.
  std::uint64_t size = 0;
  // Last use, UTC, microsecond resolution; not-a-date-time when unknown.
  boost::posix_time::ptime lastUsed;

  friend bool operator==(const CacheIndexEntry& a, const CacheIndexEntry& b) {
    return a.id == b.id && a.dirName == b.dirName && a.size == b.size && a.lastUsed == b.lastUsed;
  }
  friend bool operator!=(const CacheIndexEntry& a, const CacheIndexEntry& b) { return !(a == b); }
};

// A line longer than this (without its line feed) makes the file corrupt. Folder names are at
// most 255 bytes on Linux and component ids are far shorter than this.
inline constexpr std::size_t kMaxCacheIndexLineLength = 4096;
// A file with more records than this is corrupt: a cache holds a few hundred components at most.
inline constexpr std::size_t kMaxCacheIndexRecords = 100000;
// The index is read whole; a larger file is corrupt (a thousand components take about 80 KB).
inline constexpr std::size_t kMaxCacheIndexFileSize = std::size_t(32) << 20;

// An incomplete or unreadable record, a line that is too long or too many records.
class CacheIndexFormatError : public std::exception {
 public:
  explicit CacheIndexFormatError(const char* reason) : reason_(reason) {}
  const char* what() const noexcept override { return reason_; }

 private:
  const char* reason_;
};

// Reads the records of one index file, held in memory, in file order.
//
// A record is read like this: the id line (a last line without a line feed is not a record, and
// the file ends cleanly before it); the dirName line; the size (white space, line feeds included,
// may precede the digits; a "+" is allowed; the rest of its line is ignored); the time line. A
// time line that does not parse (see parseCacheTime) leaves lastUsed not-a-date-time. The file
// ending anywhere after the id line, a missing or too large number, or a "-" before it, makes the
// record incomplete. White space around id and dirName is removed (the ASCII white space
// characters only: a locale that calls a high byte a space would cut a UTF-8 character apart).
// Not thread-safe; the text must outlive the reader.
class CacheIndexReader {
 public:
  explicit CacheIndexReader(std::string_view text) : text_(text) {}
  CacheIndexReader(const CacheIndexReader&) = delete;
  CacheIndexReader& operator=(const CacheIndexReader&) = delete;

  // Stores the next record in entry and returns true, or returns false at the end of the file.
  // Throws CacheIndexFormatError for an incomplete record or when a limit is exceeded; entry is
  // then unspecified and the reader must not be used again.
  bool next(CacheIndexEntry& entry);
  // Where the time line of the record next returned last lies in the text: its first byte and
  // its length without the line feed.
  std::size_t timeLineOffset() const { return timeLineOffset_; }
  std::size_t timeLineLength() const { return timeLineLength_; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
  std::size_t records_ = 0;
  std::size_t timeLineOffset_ = 0;
  std::size_t timeLineLength_ = 0;
};

// Writes entry as one record. The caller makes sure the entry is storable (see below); otherwise
// the file would not read back as the same entry.
void writeCacheIndexRecord(std::ostream& out, const CacheIndexEntry& entry);
// The record of entry as text (the four lines, each with its line feed).
std::string cacheIndexRecordText(const CacheIndexEntry& entry);

// True when entry reads back unchanged after writeCacheIndexRecord: id and dirName hold no line
// feed, no white space at either end and at most kMaxCacheIndexLineLength bytes.
bool isStorableCacheIndexEntry(const CacheIndexEntry& entry);

// True when name may be joined to the cache directory and still name something inside it: no
// "/", "\" or NUL, and not "." or "..". The empty name is allowed (it names the cache directory
// itself, which the maintenance never deletes).
bool isPlainCacheDirectoryName(const std::string& name);

// The time line of a record: "2013-Jan-30 14:05:09.250000", the fraction only when it is not
// zero; "not-a-date-time", "+infinity" and "-infinity" for the special values.
std::string formatCacheTime(const boost::posix_time::ptime& time);

// Reads a time line written by formatCacheTime: a four-digit year from 1400 to 9999, "-", an
// English three-letter month (any case), "-", a two-digit day that exists in that month, one
// space, two-digit hours (0-23), minutes and seconds (0-59) separated by ":", and optionally "."
// with one to six digits of a second. White space at either end is ignored. The three special
// values are read too. Returns false (time unchanged) for anything else.
bool parseCacheTime(std::string_view text, boost::posix_time::ptime& time);

// The current UTC time with microsecond resolution (the real-time clock).
boost::posix_time::ptime currentCacheTime();
