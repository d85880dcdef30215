#include "rtkkvn/kvn_cache/cache_index.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <locale>
#include <sstream>
#include <utility>
#include <vector>

#include "fs/errors.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_scan.hpp"
#include "rtkkvn/kvn_cache/cache_listing.hpp"
#include "rtkkvn/kvn_cache/cache_location.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"

namespace {

// Only the user reads what the cache writes (the cache directory is 0700 as well).
constexpr mode_t kCacheFileMode = 0600;
// ".bytes_used" holds one decimal number; more than this is not read.
constexpr std::size_t kMaxBytesUsedFileLength = 64;
// How a folder name found in a component folder ends: "_" and 32 hexadecimal digits.
constexpr std::size_t kComponentIdHashLength = 32;
constexpr std::size_t kHashHalfLength = 16;
constexpr std::size_t kDirectoryNamePrefixLength = 6;

// Rank of a time in the order of its signed tick count.
int timeRank(const boost::posix_time::ptime& time) {
  if (time.is_neg_infinity()) return 0;
  if (time.is_not_a_date_time()) return 2;
  if (time.is_pos_infinity()) return 3;
  return 1;
}

void logEntry(const char* message, const CacheIndexEntry& entry) {
  if (!cacheLogger.isEnabled()) return;
  cacheLogger << message << std::endl << cacheIndexRecordText(entry) << std::endl;
}

// The last element of a path (directory + "/" + name), taken as is.
std::string nameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads half as a hexadecimal number and prints it again in lower case without leading zeros;
// empty when it does not start with a number.
std::string reprintedHexadecimal(const std::string& half) {
  std::istringstream in(half);
  in.imbue(std::locale::classic());
  std::uint64_t value = 0;
  in >> std::hex >> value;
  if (in.fail()) return std::string();
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::hex << value;
  return out.str();
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Adds an index entry for a cache folder that has none, or deletes the folder when its
// extraction never finished.
class MissingComponentInserter : public dsStringProcedure {
 public:
  explicit MissingComponentInserter(rtkComponentCacheIndex& index) : index_(&index) {}
  void operator()(const std::string& path) const override;

  // Finds the component id in a component folder: the first folder directly inside it whose
  // name looks like an id made for this folder (see matches).
  class ComponentNameFinder : public dsStringProcedure {
   public:
    ComponentNameFinder(const std::string& dirName, std::string& id, bool& found)
        : dirName_(dirName), id_(&id), found_(&found) {}
    void operator()(const std::string& path) const override {
      if (*found_) return;
      const std::string name = nameOf(path);
      if (!matches(name)) return;
      *id_ = name;
      *found_ = true;
    }

    // At least 34 characters, the same first six as the folder's name, "_" 33 characters from
    // the end, and 32 hexadecimal digits after it whose two halves, read as numbers and printed
    // again, give the same text (so a half starting with "0" does not pass).
    bool matches(const std::string& name) const {
      if (name.size() < kComponentIdHashLength + 2) return false;
      if (name.compare(0, kDirectoryNamePrefixLength,
                       dirName_.substr(0, kDirectoryNamePrefixLength)) != 0) {
        return false;
      }
      const std::size_t hashStart = name.size() - kComponentIdHashLength;
      if (name[hashStart - 1] != '_') return false;
      const std::string hash = name.substr(hashStart);
      const std::string printed = reprintedHexadecimal(hash.substr(0, kHashHalfLength)) +
                                  reprintedHexadecimal(hash.substr(kHashHalfLength));
      return equalIgnoringCase(printed, hash);
    }

   private:
    std::string dirName_;
    std::string* id_;
    bool* found_;
  };

 private:
  rtkComponentCacheIndex* index_;
};

void MissingComponentInserter::operator()(const std::string& path) const {
  const std::string name = nameOf(path);
  if (index_->hasDirName(name)) return;
  cacheLogger << "Found a component that is not in the index." << std::endl;
  // The file services normalise every path they are given (white space at the ends trimmed,
  // "\" read as a separator), so such a name would lead them to another folder: perhaps a
  // valid component, which must not be deleted in its place. Such folders are left alone.
  if (dsPathString(path).str() != path) {
    cacheLogger << "   Its name cannot be used as a path; left alone." << std::endl;
    return;
  }
  try {
    const dsPathString directory(path);
    if (!dsFileExists((directory / dsPathString(kCreatedMarkerFileName)).str())) {
      cacheLogger << "   Deleteing..." << std::endl;
      dsRemoveRF(path);
      return;
    }
    CacheIndexEntry entry;
    entry.dirName = name;
    if (!isStorableCacheIndexEntry(entry)) {
      cacheLogger << "   Its name cannot be stored in the index; left alone." << std::endl;
      return;
    }
    cacheLogger << "   Adding..." << std::endl;
    bool found = false;
    dsFindMatchingFilesAndDirs((directory / dsPathString("*")).c_str(), dsIgnoreString(),
                               ComponentNameFinder(name, entry.id, found), 0, true);
    entry.size = rtkComponentCacheIndex::bytesUsed(path, index_->fileSystem());
    entry.lastUsed = currentCacheTime();
    if (index_->insert(entry)) {
      logEntry("Reconstructed component entry added to index: ", entry);
    } else {
      logEntry("Not added: the index has this id already: ", entry);
    }
  } catch (const dsFileServicesError& error) {
    // One folder that cannot be examined must not keep the others out of the index.
    cacheLogger << "   Failed: " << error.what() << std::endl;
  }
}

}  // namespace

bool replaceCacheFile(dsFileSystem& fileSystem, const std::string& path, const std::string& text,
                      const void* writer, bool durable) {
  std::ostringstream temporaryName;
  temporaryName << path << ".new." << ::getpid() << "." << writer;
  const std::string temporary = temporaryName.str();
  const int descriptor = fileSystem.open(
      temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kCacheFileMode);
  if (descriptor < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t count = fileSystem.write(descriptor, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      ok = false;
      if (count == 0) errno = EIO;
    } else {
      done += std::size_t(count);
    }
  }
  ok = ok && (!durable || fileSystem.fsync(descriptor) == 0);
  int error = errno;
  if (fileSystem.close(descriptor) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && fileSystem.rename(temporary.c_str(), path.c_str()) == 0) return true;
  if (ok) error = errno;
  fileSystem.unlink(temporary.c_str());
  errno = error;
  return false;
}

bool overwriteCacheFile(dsFileSystem& fileSystem, const std::string& path,
                        const std::vector<std::pair<off_t, std::string>>& pieces,
                        const std::function<bool(const struct stat&)>& isExpected,
                        std::optional<off_t> newLength, bool durable) {
  const int descriptor =
      fileSystem.open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
  if (descriptor < 0) return false;
  struct stat status;
  bool ok =
      fileSystem.fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && isExpected(status);
  for (std::size_t i = 0; ok && i < pieces.size(); ++i) {
    const std::string& text = pieces[i].second;
    ok = fileSystem.pwrite(descriptor, text.data(), text.size(), pieces[i].first) ==
         ssize_t(text.size());
  }
  ok = ok && (!newLength || fileSystem.ftruncate(descriptor, *newLength) == 0);
  ok = ok && (!durable || fileSystem.fsync(descriptor) == 0);
  ok = fileSystem.close(descriptor) == 0 && ok;
  return ok;
}

bool CacheTimeOrder::operator()(const boost::posix_time::ptime& a,
                                const boost::posix_time::ptime& b) const {
  const int rankA = timeRank(a);
  const int rankB = timeRank(b);
  if (rankA != rankB) return rankA < rankB;
  return rankA == 1 && a < b;
}

rtkComponentCacheIndex::rtkComponentCacheIndex(const dsPathString& path, dsFileSystemPtr fileSystem,
                                               CacheIndexMemo* memo)
    : memo_(memo), path_(path), fileSystem_(std::move(fileSystem)) {
  readIndex();
  reconcile();
}

rtkComponentCacheIndex::~rtkComponentCacheIndex() {
  try {
    writeIndex();
  } catch (...) {
    // A failure to save the index must not fail the request that used it; the next index read
    // rebuilds what is missing from the folders.
  }
  leaveInMemo();
}

bool rtkComponentCacheIndex::takeFromMemo(const std::string& text, const struct stat& status) {
  // With the cache log on, every read logs its records.
  if (!memo_ || !memo_->store_ || cacheLogger.isEnabled() || status.st_dev != memo_->device_ ||
      status.st_ino != memo_->inode_ || text != memo_->text_) {
    return false;
  }
  store_ = std::move(memo_->store_);
  memo_->forgetEntries();
  return true;
}

void rtkComponentCacheIndex::leaveInMemo() noexcept {
  if (!memo_) return;
  memo_->forgetEntries();
  // Only entries whose file is known byte for byte: read, and since then at most written over
  // in place. A failed or pending write, or a file replaced whole, leaves nothing.
  if (!readText_ || changed_) return;
  memo_->store_ = std::move(store_);
  memo_->text_ = std::move(*readText_);
  memo_->device_ = readDevice_;
  memo_->inode_ = readInode_;
}

dsPathString rtkComponentCacheIndex::cacheDirectory() const {
  const dsPathString parent = path_.parent();
  return parent.empty() ? dsPathString(".") : parent;
}

void rtkComponentCacheIndex::readIndex() {
  cacheLogger << "Reading cache index file... " << std::endl;
  readText_.reset();
  struct stat status;
  const int descriptor = dsOpenRegularFile(path_.str(), fileSystem_, &status);
  if (descriptor < 0) {
    cacheLogger << "File open failed for " << path_ << std::endl;
  } else {
    store_->entries.clear();
    try {
      std::string text;
      if (!dsReadSmallFile(descriptor, kMaxCacheIndexFileSize, text, *fileSystem_, &status)) {
        throw format_error("unreadable or too large");
      }
      if (!takeFromMemo(text, status)) {
        // Room for about as many records as the file holds (a record takes some 80 bytes).
        const std::size_t records = text.size() / 64;
        store_->entries.get<CacheIndexById>().reserve(records);
        store_->entries.get<CacheIndexByDirName>().reserve(records);
        CacheIndexReader reader(text);
        IndexedCacheEntry entry;
        while (reader.next(entry)) {
          logEntry("Read cache index entry: ", entry);
          entry.timeLineOffset = reader.timeLineOffset();
          entry.timeLineLength = reader.timeLineLength();
          // A second record with a taken id or folder is dropped.
          store_->entries.insert(std::move(entry));
        }
        store_->lastUsedSorted = false;
      }
      readDevice_ = status.st_dev;
      readInode_ = status.st_ino;
      readText_ = std::move(text);
    } catch (const format_error&) {
      cacheLogger << "Corrupt index file detected; clearing index and regenerating... "
                  << std::endl;
      store_->entries.clear();
    }
    fileSystem_->close(descriptor);
    cacheLogger << "Finished reading cache index file." << std::endl;
  }
  changed_ = reshaped_ = false;
}

void rtkComponentCacheIndex::noteChange(bool stampsOnly) {
  changed_ = true;
  reshaped_ = reshaped_ || !stampsOnly;
}

void rtkComponentCacheIndex::reconcile() {
  const dsPathString directory = cacheDirectory();
  // The folders the entries name: when the directory is unchanged since a listing that found
  // exactly these, there is nothing to drop and nothing to add (cache_listing.hpp).
  const CacheListingRecord listing(fileSystem_, directory.str());
  CacheFolderSet indexed;
  bool allPlain = true;
  for (const CacheIndexEntry& entry : store_->entries) {
    if (entry.dirName.empty()) continue;
    allPlain = allPlain && isPlainCacheDirectoryName(entry.dirName);
    indexed.add(entry.dirName);
  }
  if (allPlain && listing.showsUnchanged(indexed, memo_ ? &memo_->listingRecord_ : nullptr)) {
    return;
  }

  // One listing of the cache directory answers for every entry; no entry costs a system call
  // of its own.
  std::vector<std::string> folders = dsListFolderNames(directory.str(), fileSystem_);
  CacheFolderSet listed;
  for (const std::string& name : folders) listed.add(name);
  listing.save(listed);
  if (allPlain && listed == indexed) return;

  std::sort(folders.begin(), folders.end());
  auto& byDirName = store_->entries.get<CacheIndexByDirName>();
  for (auto entry = byDirName.begin(); entry != byDirName.end();) {
    // A name with separators or ".." would lead out of the cache directory: the maintenance
    // would delete whatever it names. Such an entry counts as gone.
    // The empty name is the cache directory itself, which exists while it is being read.
    if (isPlainCacheDirectoryName(entry->dirName) &&
        (entry->dirName.empty() ||
         std::binary_search(folders.begin(), folders.end(), entry->dirName))) {
      ++entry;
      continue;
    }
    cacheLogger << "Found an entry in the index that no longer exists in the cache." << std::endl;
    logEntry("Removing obsolete component entry: ", *entry);
    entry = byDirName.erase(entry);
    noteChange(false);
  }
  const MissingComponentInserter insertMissing(*this);
  for (const std::string& name : folders) {
    if (!hasDirName(name)) insertMissing((directory / dsPathString(name)).str());
  }
}

bool rtkComponentCacheIndex::writeNeeded() const {
  cacheLogger << "Checking whether index file " << path_ << " needs to be written..." << std::endl;
  cacheLogger << (changed_ ? "Write is needed." : "No write needed.") << std::endl;
  return changed_;
}

void rtkComponentCacheIndex::writeIndex() {
  if (!writeNeeded()) return;
  cacheLogger << "Writing cache index file: " << path_ << std::endl;
  // A change of last-use stamps alone is not worth a wait for the disk, nor a new file: losing it
  // in a crash changes only the order in which components are evicted (a torn stamp is a time
  // that does not parse, read as unknown). Any other change is made durable and replaces the
  // file whole.
  const bool stampsOnly = onlyStampsChanged();
  if (!(stampsOnly && overwriteStamps())) {
    if (!replaceCacheFile(*fileSystem_, path_.str(), recordsText(), this, !stampsOnly)) {
      const int error = errno;
      cacheLogger << "Could not open index file for write" << std::endl;
      cacheLogger << "(" << path_ << ": " << std::strerror(error) << ")" << std::endl;
      return;
    }
    // The stamps' places in the new file are not known: a later write replaces it whole.
    readText_.reset();
  }
  for (const IndexedCacheEntry& entry : store_->entries) entry.stampChanged = false;
  changed_ = reshaped_ = false;
}

bool rtkComponentCacheIndex::overwriteStamps() {
  if (!readText_) return false;
  std::vector<std::pair<off_t, std::string>> stamps;
  for (const IndexedCacheEntry& entry : store_->entries) {
    if (!entry.stampChanged) continue;
    std::string text = formatCacheTime(entry.lastUsed);
    if (entry.timeLineLength == 0 || text.size() != entry.timeLineLength) return false;
    stamps.emplace_back(static_cast<off_t>(entry.timeLineOffset), std::move(text));
  }
  if (!overwriteCacheFile(*fileSystem_, path_.str(), stamps, [this](const struct stat& file) {
        return file.st_dev == readDevice_ && file.st_ino == readInode_ &&
               file.st_size == off_t(readText_->size());
      })) {
    return false;
  }
  for (const auto& [offset, stamp] : stamps) {
    readText_->replace(std::size_t(offset), stamp.size(), stamp);
  }
  return true;
}

std::string rtkComponentCacheIndex::recordsText() const {
  std::vector<const CacheIndexEntry*> byId;
  byId.reserve(store_->entries.size());
  for (const CacheIndexEntry& entry : store_->entries) byId.push_back(&entry);
  std::sort(byId.begin(), byId.end(),
            [](const CacheIndexEntry* a, const CacheIndexEntry* b) { return a->id < b->id; });
  std::string text;
  for (const CacheIndexEntry* entry : byId) {
    logEntry("Writing cache index entry: ", *entry);
    text += cacheIndexRecordText(*entry);
  }
  return text;
}

bool rtkComponentCacheIndex::onlyStampsChanged() const { return !reshaped_; }

void rtkComponentCacheIndex::updateLastUsed(const std::string& id) {
  cacheLogger << "Updating last used time for " << id << " ";
  auto& byId = store_->entries.get<CacheIndexById>();
  const auto entry = byId.find(id);
  if (entry == byId.end()) {
    cacheLogger << "component not found: " << id << " ";
    throw component_not_found();
  }
  IndexedCacheEntry renewed = *entry;
  renewed.lastUsed = currentCacheTime();
  renewed.stampChanged = true;
  cacheLogger << "new last_used time is " << formatCacheTime(renewed.lastUsed) << " ";
  renew(entry, renewed);
  noteChange(true);
}

bool rtkComponentCacheIndex::renew(CacheIndexEntries::iterator position,
                                   const IndexedCacheEntry& renewed) {
  const bool used = position->lastUsed != renewed.lastUsed;
  if (!store_->entries.replace(position, renewed)) return false;
  if (used) {
    // Among entries of equal time, the one used last comes last.
    auto& byLastUsed = store_->entries.get<CacheIndexByLastUsed>();
    byLastUsed.relocate(byLastUsed.end(), store_->entries.project<CacheIndexByLastUsed>(position));
    store_->lastUsedSorted = false;
  }
  return true;
}

std::uint64_t rtkComponentCacheIndex::totalSize() const {
  std::uint64_t total = 0;
  for (const CacheIndexEntry& entry : store_->entries) total += entry.size;
  return total;
}

const CacheIndexEntry* rtkComponentCacheIndex::find(const std::string& id) const {
  const auto& byId = store_->entries.get<CacheIndexById>();
  const auto entry = byId.find(id);
  return entry == byId.end() ? nullptr : &*entry;
}

bool rtkComponentCacheIndex::hasDirName(const std::string& dirName) const {
  return store_->entries.get<CacheIndexByDirName>().count(dirName) != 0;
}

bool rtkComponentCacheIndex::insert(const CacheIndexEntry& entry) {
  if (!isStorableCacheIndexEntry(entry) ||
      !store_->entries.insert(IndexedCacheEntry(entry)).second) {
    return false;
  }
  store_->lastUsedSorted = false;
  noteChange(false);
  return true;
}

bool rtkComponentCacheIndex::replace(const CacheIndexEntry& entry) {
  auto& byId = store_->entries.get<CacheIndexById>();
  const auto existing = byId.find(entry.id);
  if (existing == byId.end() || !isStorableCacheIndexEntry(entry)) return false;
  if (*existing == entry) return true;
  const bool stampsOnly = existing->dirName == entry.dirName && existing->size == entry.size;
  IndexedCacheEntry renewed(entry);
  renewed.timeLineOffset = existing->timeLineOffset;
  renewed.timeLineLength = existing->timeLineLength;
  renewed.stampChanged = existing->stampChanged || existing->lastUsed != entry.lastUsed;
  if (!renew(existing, renewed)) return false;
  noteChange(stampsOnly);
  return true;
}

bool rtkComponentCacheIndex::erase(const std::string& id) {
  if (store_->entries.get<CacheIndexById>().erase(id) == 0) return false;
  noteChange(false);
  return true;
}

rtkComponentCacheIndex::ByLastUsed::const_iterator rtkComponentCacheIndex::erase(
    ByLastUsed::const_iterator position) {
  noteChange(false);
  return store_->entries.get<CacheIndexByLastUsed>().erase(position);
}

const rtkComponentCacheIndex::ByLastUsed& rtkComponentCacheIndex::byLastUsed() {
  auto& byLastUsed = store_->entries.get<CacheIndexByLastUsed>();
  if (!store_->lastUsedSorted) {
    // Stable: entries of equal time keep the order in which they were read, added or used.
    // (The sequence's own sort is not stable.)
    std::vector<std::reference_wrapper<const IndexedCacheEntry>> order(byLastUsed.begin(),
                                                                       byLastUsed.end());
    std::stable_sort(order.begin(), order.end(),
                     [](const CacheIndexEntry& a, const CacheIndexEntry& b) {
                       return CacheTimeOrder()(a.lastUsed, b.lastUsed);
                     });
    byLastUsed.rearrange(order.begin());
    store_->lastUsedSorted = true;
  }
  return byLastUsed;
}

std::uint64_t rtkComponentCacheIndex::bytesUsed(const std::string& componentDirectory,
                                                dsFileSystemPtr fileSystem) {
  const dsPathString directory(componentDirectory);
  const std::string file = (directory / dsPathString(kBytesUsedFileName)).str();
  cacheLogger << "Opening file " << file << std::endl;
  std::string content;
  if (dsReadSmallFile(file, kMaxBytesUsedFileLength, content)) {
    if (const auto recorded = parseCacheSize(content)) {
      cacheLogger << ".bytes_used file read: " << *recorded << std::endl;
      return *recorded;
    }
  }
  cacheLogger << "Could not read file." << std::endl;
  cacheLogger << "Calculating bytes used by component: " << directory << std::endl;
  std::uint64_t total = 0;
  dsFindMatchingFilesAndDirs((directory / dsPathString("*")).c_str(), dsDirectorySizeAdder(total),
                             dsIgnoreString(), dsFindAllFilesBelow, false);
  cacheLogger << "total is " << total << std::endl;
  cacheLogger << "Writing file " << directory << "/.bytes_used (total is " << total << ")"
              << std::endl;
  // The number is only a shortcut for the next reconstruction: a folder that cannot take the
  // file is measured again then.
  replaceCacheFile(*fileSystem, file, std::to_string(total), &total, false);
  return total;
}

namespace {

// A folder name for a new entry of id (see CacheEntryHandle).
std::string freeDirectoryName(const rtkComponentCacheIndex& index, const std::string& id) {
  std::string prefix = id.substr(0, kDirectoryNamePrefixLength);
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = prefix[i];
    if (c == '/' || c == '\\' || c == '\0' || c == ' ' || (c >= '\t' && c <= '\r') ||
        (i == 0 && c == '.')) {
      prefix[i] = '_';
    }
  }
  const dsPathString directory = index.cacheDirectory();
  for (unsigned long counter = 0;; ++counter) {
    const std::string candidate = prefix + std::to_string(counter);
    if (index.hasDirName(candidate)) continue;
    // Anything of this name (a file, a dangling link) would make the extraction fail.
    struct stat status;
    if (::lstat((directory / dsPathString(candidate)).c_str(), &status) == 0) continue;
    return candidate;
  }
}

}  // namespace

CacheEntryHandle::CacheEntryHandle(boost::shared_ptr<rtkComponentCacheIndex> index,
                                   const std::string& id, bool create)
    : index_(std::move(index)) {
  if (const CacheIndexEntry* existing = index_->find(id)) {
    entry_ = *existing;
  } else {
    entry_ = CacheIndexEntry(id);
    if (create) entry_.dirName = freeDirectoryName(*index_, id);
  }
}

CacheEntryHandle::~CacheEntryHandle() {
  if (!dirty_) return;
  try {
    if (index_->find(entry_.id)) {
      index_->replace(entry_);
    } else {
      index_->insert(entry_);
    }
  } catch (...) {
    // Out of memory while copying the entry: the commit is lost like a refused one, and the
    // next index read finds the folder again.
  }
}
