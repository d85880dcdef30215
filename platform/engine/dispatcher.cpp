#include "engine/dispatcher.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "engine/instance.hpp"
#include "engine/parser.hpp"
#include "engine/scalar_program.hpp"
#include "engine/readers.hpp"

using q::LoadedFile;
using q::LoadedFilePtr;
using q::Target;
using q::TargetPtr;

namespace {

std::atomic<std::uint64_t> nextGeneration{1};

std::string canonical(const std::string& folder) {
  char resolved[PATH_MAX];
  if (realpath(folder.c_str(), resolved)) return resolved;
  std::string text = folder;
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool isFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool regularFile(const std::string& path, std::int64_t* modified = nullptr) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (modified) {
    *modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  }
  return true;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// qpath

const qpDir* qpGetNullDir() {
  static const qpDir nullDir;
  return &nullDir;
}

const qpDir* qpFindDirFullName(const qpPath* path, const std::string& folder) {
  if (!path) return qpGetNullDir();
  const std::string wanted = canonical(folder);
  for (const auto& dir : path->dirs())
    if (dir->folder == wanted) return dir.get();
  return qpGetNullDir();
}

int qpGetDirType(const qpDir* dir) { return dir ? dir->type : 0; }

bool qpAddDir(qpPath* path, const std::string& folder, int placement) {
  if (!path || !isFolder(folder)) return false;
  const std::string full = canonical(folder);
  auto& dirs = path->dirs_;
  dirs.erase(std::remove_if(dirs.begin(), dirs.end(),
                            [&](const std::shared_ptr<qpDir>& dir) { return dir->folder == full; }),
             dirs.end());
  auto dir = std::make_shared<qpDir>();
  dir->folder = full;
  dir->type = 1;
  if (placement == kQpAddAtEnd) {
    dirs.push_back(std::move(dir));
  } else {
    dirs.insert(dirs.begin(), std::move(dir));
  }
  ++path->generation_;
  return true;
}

bool qpRemoveDir(qpPath* path, const std::string& folder) {
  if (!path) return false;
  const std::string full = canonical(folder);
  auto& dirs = path->dirs_;
  const auto end = std::remove_if(dirs.begin(), dirs.end(), [&](const std::shared_ptr<qpDir>& dir) {
    return dir->folder == full;
  });
  if (end == dirs.end()) return false;
  dirs.erase(end, dirs.end());
  ++path->generation_;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Inotify descriptors
//
// Closing an inotify descriptor that holds watches waits until the kernel has retired them (a
// grace period: milliseconds on an idle machine, ten and more on a busy one), which every
// instance termination would pay. So descriptors are kept for reuse instead: a dispatcher that
// goes removes its watches, which does not wait, and leaves its descriptor to the next one.

namespace {

// Descriptors kept at most; more are closed (a process rarely ends more dispatchers at once).
constexpr std::size_t kKeptInotifyDescriptors = 8;

struct InotifyPool {
  std::mutex mutex;
  std::vector<int> free;  // descriptors without watches
};

// Never destroyed: dispatchers may still go while the process exits.
InotifyPool& inotifyPool() {
  static InotifyPool* pool = new InotifyPool;
  return *pool;
}

// Reads and drops whatever events wait on descriptor.
void drainInotify(int descriptor) {
  char buffer[4096];
  while (read(descriptor, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

int Qdispatcher::takeInotify() {
  InotifyPool& pool = inotifyPool();
  {
    std::lock_guard<std::mutex> hold(pool.mutex);
    if (!pool.free.empty()) {
      const int descriptor = pool.free.back();
      pool.free.pop_back();
      return descriptor;
    }
  }
  return inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

void Qdispatcher::releaseInotify(int descriptor, std::map<std::string, int>& watches) {
  if (descriptor < 0) return;
  // A watch the kernel removed already (its folder is gone) is refused here; nothing is lost.
  for (const auto& watch : watches) inotify_rm_watch(descriptor, watch.second);
  watches.clear();
  drainInotify(descriptor);
  InotifyPool& pool = inotifyPool();
  {
    std::lock_guard<std::mutex> hold(pool.mutex);
    if (pool.free.size() < kKeptInotifyDescriptors) {
      pool.free.push_back(descriptor);
      return;
    }
  }
  close(descriptor);
}

// ---------------------------------------------------------------------------------------------
// The dispatcher

Qdispatcher::Qdispatcher(boost::shared_ptr<QfileReader> qfileReader,
                         boost::shared_ptr<NubFileReader> nubReader, std::string currentFolder)
    : qfileReader_(std::move(qfileReader)),
      nubReader_(std::move(nubReader)),
      currentFolder_(currentFolder.empty() ? std::string() : canonical(currentFolder)),
      generation_(nextGeneration++) {
  if (!qfileReader_) qfileReader_.reset(new PlaintextQfileReader());
  if (!nubReader_) nubReader_.reset(new NubFileReader());
  inotify_ = takeInotify();
  if (!currentFolder_.empty()) watch(currentFolder_);
}

Qdispatcher::~Qdispatcher() {
  for (const auto& weak : loaded_) {
    if (const LoadedFilePtr file = weak.lock()) file->calls.clear();
  }
  releaseInotify(inotify_, watched_);
}

qpPath* Qdispatcher::get_path() { return &path_; }

void Qdispatcher::watch(const std::string& folder) {
  if (inotify_ < 0 || folder.empty() || watched_.count(folder)) return;
  const int descriptor =
      inotify_add_watch(inotify_, folder.c_str(),
                        IN_CREATE | IN_DELETE | IN_MODIFY | IN_MOVED_FROM | IN_MOVED_TO |
                            IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
  if (descriptor < 0) {
    // Out of watches: fall back to checking on every entry.
    releaseInotify(inotify_, watched_);
    inotify_ = -1;
    return;
  }
  watched_.emplace(folder, descriptor);
}

void Qdispatcher::startGeneration() { generation_ = nextGeneration++; }

void Qdispatcher::pathChanged() {
  seenPathGeneration_ = path_.generation();
  for (const auto& dir : path_.dirs()) watch(dir->folder);
  startGeneration();
}

void Qdispatcher::refresh() {
  if (path_.generation() != seenPathGeneration_) pathChanged();
  if (inotify_ < 0) {
    startGeneration();
    return;
  }
  // Reading the descriptor is a system call, which would cost more than a short call itself;
  // the coarse clock is read from user space.
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  const std::int64_t nanoseconds =
      static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  if (lastRead_ != INT64_MIN && nanoseconds - lastRead_ < kRefreshIntervalNs) return;
  lastRead_ = nanoseconds;
  bool changed = false;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(inotify_, buffer, sizeof buffer);
    if (got <= 0) break;
    changed = true;
  }
  if (changed) startGeneration();
}

bool Qdispatcher::lookInFolder(const std::string& folder, const std::string& name,
                               FileMatch& match) {
  static const struct {
    const char* extension;
    int kind;
  } kinds[] = {{".qx", kExistNative}, {".qc", kExistCompiled}, {".q", kExistFile}};
  const std::unordered_set<std::string>& names = namesIn(folder);
  for (const auto& kind : kinds) {
    if (names.count(name + kind.extension) == 0) continue;
    const std::string path = folder + "/" + name + kind.extension;
    if (regularFile(path)) {
      match.path = path;
      match.kind = kind.kind;
      return true;
    }
  }
  return false;
}

const std::unordered_set<std::string>& Qdispatcher::namesIn(const std::string& folder) {
  FolderNames& cached = folderNames_[folder];
  if (cached.generation == generation()) return cached.names;
  cached.generation = generation_;
  cached.names.clear();
  if (DIR* directory = opendir(folder.c_str())) {
    while (const struct dirent* entry = readdir(directory)) cached.names.insert(entry->d_name);
    closedir(directory);
  }
  return cached.names;
}

bool Qdispatcher::findFile(const std::string& name, const LoadedFile* context, FileMatch& match) {
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) {
    // A path: the file itself, with or without its extension.
    for (const char* extension : {"", ".qx", ".qc", ".q"}) {
      const std::string path = name + extension;
      if (!regularFile(path)) continue;
      if (endsWith(path, ".qx")) {
        match.kind = kExistNative;
      } else if (endsWith(path, ".qc")) {
        match.kind = kExistCompiled;
      } else if (endsWith(path, ".q")) {
        match.kind = kExistFile;
      } else {
        continue;
      }
      char resolved[PATH_MAX];
      match.path = realpath(path.c_str(), resolved) ? resolved : path;
      return true;
    }
    return false;
  }
  for (char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  }
  if (context && !context->folder.empty()) {
    const std::string privateFolder =
        endsWith(context->folder, "/private") ? context->folder : context->folder + "/private";
    if (isFolder(privateFolder)) {
      watch(privateFolder);
      if (lookInFolder(privateFolder, name, match)) return true;
    }
  }
  if (!currentFolder_.empty() && lookInFolder(currentFolder_, name, match)) return true;
  for (const auto& dir : path_.dirs()) {
    if (lookInFolder(dir->folder, name, match)) return true;
  }
  return false;
}

LoadedFilePtr Qdispatcher::load(const std::string& path) {
  CachedFile& cached = files_[path];
  if (cached.file && cached.validated == generation()) return cached.file;
  std::int64_t modified = 0;
  if (!regularFile(path, &modified)) {
    files_.erase(path);
    q::raise("Q:fileRead", "The Q file '" + path + "' does not exist.");
  }
  if (cached.file && cached.file->modified == modified) {
    cached.validated = generation_;
    return cached.file;
  }
  std::string text;
  try {
    text = qfileReader_->read(path);
  } catch (const std::exception& error) {
    files_.erase(path);
    q::raise("Q:fileRead", error.what());
  }
  auto file = std::make_shared<LoadedFile>();
  file->path = path;
  file->folder = folderOf(path);
  file->compiled = endsWith(path, ".qc");
  file->modified = modified;
  try {
    file->tree = q::parseFile(text, path);
  } catch (const q::SyntaxError& error) {
    files_.erase(path);
    q::raise("Q:syntaxError", error.what());
  }
  // A function file is called by its file name, whatever its declaration says.
  if (!file->tree.functions.empty() && !file->tree.isScript) {
    std::string stem = path.substr(path.rfind('/') + 1);
    stem = stem.substr(0, stem.rfind('.'));
    file->tree.functions[0]->name = stem;
  }
  for (const auto& function : file->tree.functions) {
    q::FunctionInfo info;
    info.ansSlot = function->findVariable("ans");
    file->info.push_back(info);
  }
  watch(file->folder);
  if (cached.file) cached.file->calls.clear();
  loaded_.erase(
      std::remove_if(loaded_.begin(), loaded_.end(),
                     [](const std::weak_ptr<const LoadedFile>& weak) { return weak.expired(); }),
      loaded_.end());
  loaded_.push_back(file);
  cached.file = file;
  cached.validated = generation_;
  return file;
}

namespace {

// The entry of table (sorted by name) named name, or null.
template <typename Entry>
const Entry* entryNamed(const std::vector<Entry>& table, const std::string& name) {
  const auto before = [](const Entry& entry, const std::string& n) {
    return std::strcmp(entry.name, n.c_str()) < 0;
  };
  const auto found = std::lower_bound(table.begin(), table.end(), name, before);
  return found != table.end() && name == found->name ? &*found : nullptr;
}

// A new target of the built-in named name (an interpreter built-in before a pure one of the same
// name), or null.
TargetPtr builtinTarget(const std::string& name) {
  auto target = std::make_shared<Target>();
  target->name = name;
  if (const auto* entry = entryNamed(q::interpreterBuiltins(), name)) {
    target->kind = Target::Kind::Interpreter;
    target->builtin = entry->function;
    return target;
  }
  const auto* entry = entryNamed(q::pureBuiltins(), name);
  if (!entry) return nullptr;
  target->kind = Target::Kind::Pure;
  target->pure = entry->function;
  target->scalar = entry->scalar;
  target->query = entry->query;
  target->logicalQuery = entry->logicalQuery;
  target->scalar2 = entry->scalar2;
  bool logical;
  target->constant = q::ast::builtinConstant(entry->name, target->constantValue, logical);
  return target;
}

}  // namespace

TargetPtr Qdispatcher::findBuiltin(const std::string& name) const {
  // Made on first use: an instance starts without a target for each of the ~1,100 built-ins.
  const auto found = builtins_.find(name);
  if (found != builtins_.end()) return found->second;
  TargetPtr target = builtinTarget(name);
  if (target) builtins_.emplace(name, target);
  return target;
}

bool Qdispatcher::registerExternal(const std::string& name, boost::shared_ptr<KvnCallBase> call) {
  externals_[name] = std::move(call);
  startGeneration();
  return true;
}

TargetPtr Qdispatcher::fileTarget(const std::string& name, const FileMatch& match) {
  auto target = std::make_shared<Target>();
  target->name = name;
  target->path = match.path;
  if (match.kind == kExistNative) {
    target->kind = Target::Kind::Native;
    try {
      target->native = nubReader_->load(match.path);
    } catch (const std::exception& error) {
      q::raise("Q:nativeExtension", error.what());
    }
    return target;
  }
  target->kind = Target::Kind::User;
  target->file = load(match.path);
  target->functionIndex = 0;
  return target;
}

TargetPtr Qdispatcher::resolveUncached(const std::string& name, const LoadedFile* context) {
  if (context) {
    const int local = context->localFunction(name);
    if (local >= 0) {
      auto target = std::make_shared<Target>();
      target->kind = Target::Kind::User;
      target->file = context->self();
      target->functionIndex = local;
      target->name = name;
      target->path = context->path;
      return target;
    }
  }
  const auto external = externals_.find(name);
  FileMatch match;
  if (context && !context->folder.empty()) {
    // Private functions come before host callbacks and the path.
    const std::string privateFolder =
        endsWith(context->folder, "/private") ? context->folder : context->folder + "/private";
    if (isFolder(privateFolder) && lookInFolder(privateFolder, name, match)) {
      watch(privateFolder);
      return fileTarget(name, match);
    }
  }
  if (external != externals_.end()) {
    auto target = std::make_shared<Target>();
    target->kind = Target::Kind::External;
    target->external = external->second;
    target->name = name;
    return target;
  }
  if (findFile(name, nullptr, match)) return fileTarget(name, match);
  return findBuiltin(name);
}

TargetPtr Qdispatcher::resolve(const std::string& name, const LoadedFile* context) {
  auto& cache = context ? context->calls : baseCalls_;
  std::uint64_t& cacheGeneration = context ? context->callsGeneration : baseCallsGeneration_;
  if (cacheGeneration != generation()) {
    cache.clear();
    cacheGeneration = generation_;
  }
  // Within a generation nothing on disk or on the path changed, so a resolution stays right.
  const auto found = cache.find(name);
  if (found != cache.end()) return found->second;
  TargetPtr target = resolveUncached(name, context);
  cache[name] = target;
  return target;
}
