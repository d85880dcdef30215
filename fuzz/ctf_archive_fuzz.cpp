// Archives come from anyone: this feeds hostile archives to the archive reader and the unpacker.
// Besides not crashing, both may only refuse with opc::Exception, and unpacking must never change
// anything outside its target folder nor leave a link inside it that leads outside, whatever the
// entries say.
//
// An input that starts like a file ("PK" or an executable's "\x7fELF") is the archive itself.
// Any other input is a recipe the fuzzer can steer far better than raw ZIP bytes: entries whose
// names come from a small alphabet ("..", ".", empty parts, the manifest, names the runtime keeps),
// links whose targets are built from earlier names, duplicates, sizes that compress well; written
// with libarchive, then a few bytes patched so that headers may lie or overlap.
//
// Recipe: one flags byte (bit 0: deflate, bits 1-2: number of patches), then per entry one
// control byte (bits 0-1 kind: file, folder, link, duplicate; bits 2-3: name elements - 1; bits
// 4-5: size class; bits 6-7: "../" in front of a link target) followed by the bytes it consumes;
// the patches (two position bytes and a value) come from the last bytes of the input.
#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "ctf/ctf_archive.hpp"
#include "ctf/opc_exception.hpp"

namespace stdfs = std::filesystem;

namespace {

constexpr const char* kAlphabet[] = {
    "a",   "b",       "..", ".", "",  "ctfsettings.json", ".created.ts",  ".kvnx", ".t.rwlock",
    "lib", ".sorvel", "u",  "x", "/", ".bytes_used",      ".x.unpacking", "up"};
constexpr std::size_t kAlphabetSize = sizeof kAlphabet / sizeof kAlphabet[0];
constexpr std::size_t kMaxEntries = 48;
// Names built from earlier names grow fast. libarchive's own ZIP writer (3.6) overruns a heap
// buffer on names near 64 KiB, so names stay well below that, yet above the unpacker's 4096.
constexpr std::size_t kMaxNameBytes = 6000;
constexpr char kCanaryText[] = "canary";

class Recipe {
 public:
  Recipe(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
  // Keeps the last bytes for the patches.
  void reserveTail(std::size_t bytes) { size_ = size_ > bytes ? size_ - bytes : 0; }
  std::size_t left() const { return size_ - std::min(at_, size_); }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct Entry {
  std::string name;
  int kind = 0;  // 0 file, 1 folder, 2 link
  std::string data;
  std::string target;
};

std::string nameFrom(Recipe& recipe, int elements, const std::vector<Entry>& earlier) {
  std::string name;
  for (int i = 0; i < elements; ++i) {
    const uint8_t choice = recipe.next();
    if (i > 0) name += '/';
    // High bit: continue below an earlier entry, as a hostile archive does to pass through it.
    if ((choice & 0x80) != 0 && !earlier.empty()) {
      name += earlier[choice % earlier.size()].name;
    } else {
      name += kAlphabet[choice % kAlphabetSize];
    }
  }
  return name;
}

std::vector<Entry> entriesFrom(Recipe& recipe) {
  std::vector<Entry> entries;
  while (!recipe.empty() && entries.size() < kMaxEntries) {
    const uint8_t control = recipe.next();
    Entry entry;
    entry.kind = control & 3;
    if (entry.kind == 3) {  // a duplicate, spelt the same or another way
      if (entries.empty()) continue;
      const uint8_t choice = recipe.next();
      entry = entries[choice % entries.size()];
      if ((choice & 0x40) != 0) entry.name = "./" + entry.name;
      if ((choice & 0x80) != 0) {
        entry.kind = 0;
        entry.data = "second";
      }
      entries.push_back(entry);
      continue;
    }
    entry.name = nameFrom(recipe, 1 + ((control >> 2) & 3), entries);
    if (entry.name.size() > kMaxNameBytes) entry.name.resize(kMaxNameBytes);
    if (entry.kind == 1) entry.name += '/';
    switch ((control >> 4) & 3) {
      case 1:
        for (int i = 0; i < 8; ++i) entry.data += static_cast<char>(recipe.next());
        break;
      case 2:
        entry.data.assign(5000, 'a');
        break;
      case 3:
        entry.data.assign(200000, '\0');
        break;
      default:
        break;
    }
    if (entry.kind == 2) {
      for (int up = (control >> 6) & 3; up > 0; --up) entry.target += "../";
      const uint8_t choice = recipe.next();
      if ((choice & 0x80) != 0 && !entries.empty()) {
        entry.target += entries[choice % entries.size()].name;
      } else {
        entry.target += kAlphabet[choice % kAlphabetSize];
      }
      entry.target += "/" + nameFrom(recipe, recipe.next() % 3, entries);
      if (entry.target.size() > kMaxNameBytes) entry.target.resize(kMaxNameBytes);
    }
    entries.push_back(entry);
  }
  return entries;
}

la_ssize_t appendBytes(archive*, void* out, const void* buffer, size_t size) {
  static_cast<std::string*>(out)->append(static_cast<const char*>(buffer), size);
  return static_cast<la_ssize_t>(size);
}

// The recipe's archive, or empty when libarchive will not write it.
std::string archiveFrom(const uint8_t* data, std::size_t size) {
  Recipe recipe(data, size);
  const uint8_t flags = recipe.next();
  const int patches = (flags >> 1) & 3;
  recipe.reserveTail(3 * static_cast<std::size_t>(patches));
  const std::vector<Entry> entries = entriesFrom(recipe);
  std::string bytes;
  archive* writer = archive_write_new();
  archive_write_set_format_zip(writer);
  archive_write_set_options(writer,
                            (flags & 1) != 0 ? "zip:compression=deflate" : "zip:compression=store");
  archive_write_set_bytes_in_last_block(writer, 1);
  if (archive_write_open(writer, &bytes, nullptr, appendBytes, nullptr) != ARCHIVE_OK) {
    archive_write_free(writer);
    return {};
  }
  for (const Entry& entry : entries) {
    archive_entry* header = archive_entry_new();
    archive_entry_set_pathname(header, entry.name.c_str());
    archive_entry_set_perm(header, entry.kind == 1 ? 0755 : 0644);
    archive_entry_set_filetype(header, entry.kind == 1   ? AE_IFDIR
                                       : entry.kind == 2 ? AE_IFLNK
                                                         : AE_IFREG);
    if (entry.kind == 2) archive_entry_set_symlink(header, entry.target.c_str());
    if (entry.kind == 0) archive_entry_set_size(header, static_cast<la_int64_t>(entry.data.size()));
    if (archive_write_header(writer, header) == ARCHIVE_OK && entry.kind == 0) {
      archive_write_data(writer, entry.data.data(), entry.data.size());
    }
    archive_entry_free(header);
  }
  archive_write_close(writer);
  archive_write_free(writer);
  // Patches from the tail: headers that lie, overlap or point elsewhere.
  Recipe tail(data + size - std::min<std::size_t>(size, 3 * static_cast<std::size_t>(patches)),
              std::min<std::size_t>(size, 3 * static_cast<std::size_t>(patches)));
  for (int i = 0; i < patches && !bytes.empty(); ++i) {
    const std::size_t position = (tail.next() | (tail.next() << 8)) % bytes.size();
    bytes[position] = static_cast<char>(tail.next());
  }
  return bytes;
}

[[noreturn]] void escaped(const std::string& what) {
  std::fprintf(stderr, "escaped the target folder: %s\n", what.c_str());
  std::abort();
}

// Opens every folder below folder to its owner: a folder entry may have closed one, and both the
// link check and the clean-up must see inside.
void openUp(const stdfs::path& folder) {
  std::error_code ignored;
  for (stdfs::recursive_directory_iterator it(folder, ignored), end; !ignored && it != end;
       it.increment(ignored)) {
    std::error_code error;
    if (!it->is_symlink(error) && it->is_directory(error))
      stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, error);
  }
}

// Every link below target must lead inside it, as far as it resolves on disk.
void checkLinksInside(const stdfs::path& target) {
  const stdfs::path inside = stdfs::canonical(target);
  std::error_code error;
  for (stdfs::recursive_directory_iterator it(target, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code typeError;
    if (!it->is_symlink(typeError)) continue;
    std::error_code resolveError;
    const stdfs::path resolved = stdfs::weakly_canonical(it->path(), resolveError);
    if (resolveError) continue;  // a loop the kernel gives up on leads nowhere
    const auto stop =
        std::mismatch(inside.begin(), inside.end(), resolved.begin(), resolved.end()).first;
    if (stop != inside.end()) escaped(it->path().string() + " -> " + resolved.string());
  }
  if (error) escaped("cannot walk " + target.string() + ": " + error.message());
}

std::string contentsOf(const stdfs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Small limits keep each run quick and let the fuzzer reach them.
  ::setenv("KVN_UNPACK_MAX_TOTAL_BYTES", "4M", 0);
  ::setenv("KVN_UNPACK_RATIO_FLOOR_BYTES", "64K", 0);
  ::setenv("KVN_UNPACK_MAX_ENTRIES", "40", 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // On a memory file system when there is one: every unpack fsyncs what it writes.
  static const stdfs::path root =
      (stdfs::is_directory("/dev/shm") ? stdfs::path("/dev/shm") : stdfs::temp_directory_path()) /
      ("ctf_archive_fuzz_" + std::to_string(::getpid()));
  const stdfs::path archive = root / "input.ctf";
  const stdfs::path jail = root / "jail";
  const stdfs::path target = jail / "target";
  const stdfs::path canary = jail / "canary" / "bashrc";
  openUp(jail);
  stdfs::remove_all(jail);
  stdfs::create_directories(canary.parent_path());
  std::ofstream(canary) << kCanaryText;

  const bool raw = size >= 2 && ((data[0] == 'P' && data[1] == 'K') || data[0] == 0x7f);
  const std::string bytes =
      raw ? std::string(reinterpret_cast<const char*>(data), size) : archiveFrom(data, size);
  std::ofstream(archive, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

  try {
    Ostrand::ctfpack::readArchiveManifest(archive.string(),
                                          Ostrand::ctfdata::CTFFileReaderFactory());
  } catch (const opc::Exception&) {
  }
  try {
    Ostrand::ctfpack::extractArchive(archive.string(), target.string());
  } catch (const opc::Exception&) {
  }
  for (const auto& entry : stdfs::directory_iterator(jail)) {
    if (entry.path() != target && entry.path() != canary.parent_path())
      escaped(entry.path().string());
  }
  if (stdfs::is_symlink(canary) || contentsOf(canary) != kCanaryText ||
      std::distance(stdfs::directory_iterator(canary.parent_path()), {}) != 1) {
    escaped("the canary changed");
  }
  if (stdfs::is_directory(target)) {
    openUp(target);
    checkLinksInside(target);
  }
  if (stdfs::is_directory(target)) checkLinksInside(target);
  return 0;
}
