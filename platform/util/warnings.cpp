#include "util/warnings.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace {
constexpr const char* kAllWarnings = "all";
}  // namespace

struct utWarningContext {
  bool isEnabled(const char* id) {
    std::lock_guard<std::mutex> guard(mutex);
    if (!id || std::strcmp(id, kAllWarnings) == 0) return allEnabled;
    auto found = states.find(id);
    return found == states.end() ? allEnabled : found->second;
  }

  void setEnabled(const char* id, bool enabled) {
    std::lock_guard<std::mutex> guard(mutex);
    if (std::strcmp(id, kAllWarnings) == 0) {
      states.clear();
      allEnabled = enabled;
    } else {
      states[id] = enabled;
    }
  }

  std::mutex mutex;
  bool allEnabled = true;                        // guarded by mutex
  std::unordered_map<std::string, bool> states;  // guarded by mutex
};

struct utWarningManager {
  utWarningContext context;
};

namespace {

struct WarningManagers {
  std::mutex mutex;
  utWarningContext defaultContext;
  std::vector<std::unique_ptr<utWarningManager>> installed;  // oldest first; guarded by mutex
};

// Never destroyed: libraries that unload during process exit still find it intact.
WarningManagers& managers() {
  static WarningManagers* instance = new WarningManagers;
  return *instance;
}

utWarningContext* currentContextLocked(WarningManagers& all) {
  return all.installed.empty() ? &all.defaultContext : &all.installed.back()->context;
}

utWarningContext* contextOrCurrent(utWarningContext* context) {
  if (context) return context;
  WarningManagers& all = managers();
  std::lock_guard<std::mutex> guard(all.mutex);
  return currentContextLocked(all);
}

}  // namespace

extern "C" {

utWarningContext* utGetWarningContext(void) { return contextOrCurrent(nullptr); }

int ut_set_warning_status_id(utWarningContext* context, const char* id, int state) {
  if (!id) return -1;
  try {
    contextOrCurrent(context)->setEnabled(id, state != 0);
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int ut_get_warning_status_id(utWarningContext* context, const char* id) {
  try {
    return contextOrCurrent(context)->isEnabled(id) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 1;  // the lookup copies the id; without memory, showing the warning is the safe side
  }
}

utWarningManager* utInstallWarningManager(void) {
  try {
    auto manager = std::make_unique<utWarningManager>();
    WarningManagers& all = managers();
    std::lock_guard<std::mutex> guard(all.mutex);
    all.installed.push_back(std::move(manager));
    return all.installed.back().get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

utWarningManager* utGetWarningManager(void) {
  WarningManagers& all = managers();
  std::lock_guard<std::mutex> guard(all.mutex);
  return all.installed.empty() ? nullptr : all.installed.back().get();
}

int utRemoveWarningManager(utWarningManager* manager) {
  std::unique_ptr<utWarningManager> removed;
  bool wasCurrent = false;
  {
    WarningManagers& all = managers();
    std::lock_guard<std::mutex> guard(all.mutex);
    auto found = std::find_if(all.installed.begin(), all.installed.end(),
                              [&](const auto& entry) { return entry.get() == manager; });
    if (found == all.installed.end()) return 0;
    wasCurrent = std::next(found) == all.installed.end();
    removed = std::move(*found);
    all.installed.erase(found);
  }
  return wasCurrent ? 1 : 0;
}

}  // extern "C"
