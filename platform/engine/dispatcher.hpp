#pragma once
// The search path of an instance (qpath) and the dispatcher that finds what a name stands for
// (q_dispatcher): files on the path, private functions, host callbacks and built-ins. Parsed
// files are cached by path and modification time; name resolutions are cached until the path,
// the registered callbacks or a watched folder change.
//
// Folders are watched with inotify: a top-level entry into the engine (refresh()) reads the
// pending change events without blocking when at least kRefreshInterval has passed since the
// last read (a coarse clock read, no system call, decides), and any change of a watched folder
// starts a new generation, in which cached resolutions are made again and cached files are
// checked against their modification time. A change on disk is therefore seen by entries that
// start kRefreshInterval plus one tick of the coarse clock after it. Where inotify is not
// available every entry starts a new generation.

#include <boost/shared_ptr.hpp>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/export.hpp"
#include "engine/interpreter.hpp"

class QfileReader;
class NubFileReader;
class KvnCallBase;

// One folder of a search path.
struct qpDir {
  std::string folder;  // canonical full path
  int type = 0;        // 0: the null entry (not on the path); 1: a folder on the path
};

// The search path of one instance: folders in lookup order.
class qpPath {
 public:
  const std::vector<std::shared_ptr<qpDir>>& dirs() const { return dirs_; }
  std::uint64_t generation() const { return generation_; }

 private:
  friend bool qpAddDir(qpPath* path, const std::string& folder, int placement);
  friend bool qpRemoveDir(qpPath* path, const std::string& folder);
  friend class Qdispatcher;
  std::vector<std::shared_ptr<qpDir>> dirs_;
  // Counts the changes of the path (the dispatcher compares it with the count it last saw).
  std::uint64_t generation_ = 0;
};

// Placement codes of qpAddDir.
constexpr int kQpAddAtFront = 0;
constexpr int kQpAddAtEnd = 1;

// The entry that stands for "not on the path" (type 0). Lives as long as the process.
KVNENGINE_EXPORT const qpDir* qpGetNullDir();
// The entry of folder (canonicalised first) on path, or qpGetNullDir(). The pointer stays valid
// until the path changes.
KVNENGINE_EXPORT const qpDir* qpFindDirFullName(const qpPath* path, const std::string& folder);
// 0 for the null entry, 1 for a folder on a path.
KVNENGINE_EXPORT int qpGetDirType(const qpDir* dir);
// Adds an existing folder at the front (kQpAddAtFront) or the end (kQpAddAtEnd); a folder
// already on the path moves there. False when the folder does not exist or path is null.
KVNENGINE_EXPORT bool qpAddDir(qpPath* path, const std::string& folder, int placement);
// Removes folder from the path; false when it was not on it.
KVNENGINE_EXPORT bool qpRemoveDir(qpPath* path, const std::string& folder);

// exist codes.
constexpr int kExistNone = 0;
constexpr int kExistVariable = 1;
constexpr int kExistFile = 2;
constexpr int kExistNative = 3;
constexpr int kExistBuiltin = 5;
constexpr int kExistCompiled = 6;
constexpr int kExistFolder = 7;

// Called only with kvn_mutex held, like everything of an instance.
class Qdispatcher {
 public:
  Qdispatcher(boost::shared_ptr<QfileReader> qfileReader,
              boost::shared_ptr<NubFileReader> nubReader, std::string currentFolder);
  ~Qdispatcher();
  Qdispatcher(const Qdispatcher&) = delete;
  Qdispatcher& operator=(const Qdispatcher&) = delete;

  // The instance's search path; owned by the dispatcher, valid as long as it.
  KVNENGINE_EXPORT qpPath* get_path();

  // ---- Used inside the engine ----
  // Reads pending folder changes when kRefreshInterval has passed since the last read; called
  // at every top-level entry into the engine.
  void refresh();
  // How long folder changes may go unread.
  static constexpr std::int64_t kRefreshIntervalNs = 10'000'000;
  // Changes of the path count at once, also inside a running call.
  std::uint64_t generation() {
    if (path_.generation() != seenPathGeneration_) pathChanged();
    return generation_;
  }

  // What name means when called from a file (context) or from the base (null): a local
  // function, a private function, a host callback, a file on the path, or a built-in. Null when
  // nothing matches. Throws QError when the file found cannot be read or parsed.
  q::TargetPtr resolve(const std::string& name, const q::LoadedFile* context);

  // A file found for name on the path (or beside the context for private functions).
  struct FileMatch {
    std::string path;
    int kind = kExistNone;  // kExistFile, kExistNative or kExistCompiled
  };
  bool findFile(const std::string& name, const q::LoadedFile* context, FileMatch& match);
  // The parsed file at path (cached); throws QError "Q:syntaxError" or "Q:fileRead".
  q::LoadedFilePtr load(const std::string& path);
  // A built-in of that name.
  q::TargetPtr findBuiltin(const std::string& name) const;
  bool registerExternal(const std::string& name, boost::shared_ptr<KvnCallBase> call);
  bool isExternal(const std::string& name) const { return externals_.count(name) != 0; }

  const std::string& currentFolder() const { return currentFolder_; }

 private:
  void watch(const std::string& folder);
  // An inotify descriptor without watches: a kept one, or a new one (-1 when none can be made).
  static int takeInotify();
  // Removes the watches from descriptor (forgetting them) and keeps it for takeInotify.
  static void releaseInotify(int descriptor, std::map<std::string, int>& watches);
  void pathChanged();
  void startGeneration();
  bool lookInFolder(const std::string& folder, const std::string& name, FileMatch& match);
  // The names in folder, read once per generation (folders looked in are watched, so a change
  // starts a new generation): a name that is not there costs no system call.
  const std::unordered_set<std::string>& namesIn(const std::string& folder);

  boost::shared_ptr<QfileReader> qfileReader_;
  boost::shared_ptr<NubFileReader> nubReader_;
  std::string currentFolder_;
  qpPath path_;
  std::uint64_t seenPathGeneration_ = 0;
  // Generation numbers are unique in the process, so that no two dispatchers share one.
  std::uint64_t generation_;
  int inotify_ = -1;
  std::int64_t lastRead_ = INT64_MIN;  // coarse monotonic time of the last read, nanoseconds
  std::map<std::string, int> watched_;  // folder -> its watch on inotify_
  struct FolderNames {
    std::uint64_t generation = 0;  // 0: never read
    std::unordered_set<std::string> names;
  };
  std::unordered_map<std::string, FolderNames> folderNames_;

  struct CachedFile {
    q::LoadedFilePtr file;
    std::uint64_t validated = 0;  // generation in which its modification time was checked
  };
  std::unordered_map<std::string, CachedFile> files_;
  // Every file loaded: resolution caches may refer to each other's files (and a file to
  // itself), so they are cleared when a file is replaced and when the dispatcher goes.
  std::vector<std::weak_ptr<const q::LoadedFile>> loaded_;
  q::TargetPtr resolveUncached(const std::string& name, const q::LoadedFile* context);
  q::TargetPtr fileTarget(const std::string& name, const FileMatch& match);

  std::unordered_map<std::string, q::TargetPtr> baseCalls_;  // resolutions from the base
  std::uint64_t baseCallsGeneration_ = 0;
  mutable std::unordered_map<std::string, q::TargetPtr> builtins_;  // those asked for
  std::map<std::string, boost::shared_ptr<KvnCallBase>> externals_;
  std::map<std::string, q::GatewayFunction> natives_;  // loaded native extensions by path
};

// Inline: every call from a compiled program asks it.
inline bool q::Interpreter::remembered(const q::ast::Identifier& identifier,
                                       const q::Target*& target) const {
  if (identifier.resolvedBy != &dispatcher_ ||
      identifier.resolvedGeneration != dispatcher_.generation()) {
    return false;
  }
  target = static_cast<const q::Target*>(identifier.resolved);
  return true;
}
