#pragma once
// The VM library. A VM (zvm::ZVM) is one engine instance served by a thread of its own: the
// instance is made on that thread, every operation is queued to it and answered through a
// future, and the caller waits (or not) as it likes. The process session (zvm::ProcessSession,
// kept in rtkbase's gzvmProcessSession) makes VMs and knows them by id.
//
// Threads and locks. A VM's engine runs only on its thread, which takes kvn_mutex for each
// engine call like any other thread; a caller that holds kvn_mutex must give it up while it
// waits for a future (ReleaseCountedMutexGuard), or the VM cannot run.

#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/future.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/exceptions.hpp"
#include "vm/export.hpp"
#include "zy.h"

class CmdWinSink;
class kvnInstance;
class kvnOptions;

namespace cmddistributor {

// A script error raised by a call inside a VM, carried to the caller by the call's future.
class ZVM_EXPORT RuntimeException : public std::runtime_error {
 public:
  RuntimeException(std::string identifier, const std::string& message,
                   std::vector<rtkSorvelStackLine> stack);
  ~RuntimeException() override;
  const std::string& identifier() const { return identifier_; }
  std::string message() const { return what(); }
  const std::vector<rtkSorvelStackLine>& stack() const { return stack_; }

 private:
  std::string identifier_;
  std::vector<rtkSorvelStackLine> stack_;
};

}  // namespace cmddistributor

namespace zvm {

// What a VM's engine instance starts from.
class ZVM_EXPORT ZVMOptions {
 public:
  // deployed: isdeployed answers true inside the VM.
  explicit ZVMOptions(bool deployed);
  ~ZVMOptions();

  // The engine option record these fields make.
  kvnOptions toKvnOptions() const;

  bool deployed;
  // When set, replacementPath (folders separated by ':') is the whole search path, in place of
  // searchPath.
  bool replacePath = false;
  std::string replacementPath;
  std::vector<std::string> searchPath;
  // Null sinks: the process-wide sinks.
  boost::shared_ptr<CmdWinSink> errorSink;
  boost::shared_ptr<CmdWinSink> printSink;
  std::string toolboxPrefix;
  std::string userDir;
  std::string workgroupDir;
  std::vector<std::string> warningStates;
  // The VM serves a component (its workgroup folder is its current folder).
  bool component = false;
};

class ZVM_EXPORT ZVM {
 public:
  using Results = std::vector<boost::shared_ptr<zyArray>>;

  // Use ProcessSession::createVM or Factory::getCurrentLocalZVM; the constructors are theirs.
  ZVM(int id, const ZVMOptions& options);
  explicit ZVM(kvnInstance* localEngine);
  // Stops the VM if it still runs and waits for its thread.
  virtual ~ZVM();
  ZVM(const ZVM&) = delete;
  ZVM& operator=(const ZVM&) = delete;

  int id() const { return id_; }
  // The VM's engine instance; null before it started, after it stopped, or if it failed.
  kvnInstance* getKvnInstance();

  // Runs command in the VM's base workspace; the future holds EvalString's bool.
  virtual boost::unique_future<bool> evaluate(const std::wstring& command);
  // Calls name with inputs [first, last) (still the caller's, read until the future is ready)
  // and nlhs outputs. The future holds the outputs, owned by the results alone, or a
  // cmddistributor::RuntimeException for a script error.
  virtual boost::unique_future<Results> feval(const std::string& name, zyArray* const* first,
                                              zyArray* const* last, int nlhs);
  // Releases the engine instance on the VM's thread, which then ends; operations queued later
  // fail with std::logic_error. Ready at once when the VM has already stopped.
  virtual boost::unique_future<void> stop();
  // Stops the VM if needed, waits for its thread and removes it from the process session.
  // False when it was released before.
  virtual bool release();

 private:
  friend class ProcessSession;
  using Task = std::function<void()>;

  // The start of a session VM: runs on its thread, fulfils started.
  void run(boost::promise<int>& started);
  // Queues task for the VM's thread (runs it at once for a local VM).
  bool post(Task task);
  // Queues the stop (once) and returns a future ready when the thread has ended.
  boost::unique_future<void> requestStop();
  void stopOnThread();
  bool startFailed();
  // The engine instance, for tasks; throws std::logic_error when there is none.
  kvnInstance& liveEngine();

  const int id_;
  const bool local_;  // wraps an engine instance of the calling thread; no thread of its own
  std::unique_ptr<ZVMOptions> options_;
  boost::thread thread_;
  boost::mutex mutex_;
  boost::condition_variable wake_;
  std::deque<Task> tasks_;         // guarded by mutex_
  bool stopping_ = false;          // guarded by mutex_: no more tasks are accepted
  bool finished_ = false;          // guarded by mutex_: the thread's loop has ended
  kvnInstance* engine_ = nullptr;  // guarded by mutex_; written only on the VM's thread
  bool startFailed_ = false;       // guarded by mutex_
  bool released_ = false;          // guarded by mutex_
  std::vector<boost::shared_ptr<boost::promise<void>>> stopWaiters_;  // guarded by mutex_
};

// Makes VMs and knows them by id. One per process, made on first use (current()).
class ZVM_EXPORT ProcessSession {
 public:
  ProcessSession();
  // Stops and waits for every VM still known.
  ~ProcessSession();
  ProcessSession(const ProcessSession&) = delete;
  ProcessSession& operator=(const ProcessSession&) = delete;

  // The process's session (gzvmProcessSession), made when first asked for.
  static boost::shared_ptr<ProcessSession> current();

  // Starts a VM; the future holds its id (ids ascend and are never reused) once the engine
  // instance runs, or the exception its start threw, in which case the VM is forgotten.
  boost::unique_future<int> createVM(const ZVMOptions& options);
  // The VM with id, or null.
  boost::shared_ptr<ZVM> getVM(int id);
  // How many VMs the session knows (VMs whose start failed are dropped before counting).
  std::size_t vmCount();
  // Releases every VM the session knows, except one whose own thread calls. Also run at exit,
  // for the VMs a host did not release.
  void releaseAll();

 private:
  friend class ZVM;
  static void releaseAllAtExit();
  void forget(int id);
  // Joins and drops the VMs whose start failed. Call without mutex_.
  void dropFailed();

  boost::mutex mutex_;
  int lastId_ = 0;                             // guarded by mutex_
  std::map<int, boost::shared_ptr<ZVM>> vms_;  // guarded by mutex_
};

class ZVM_EXPORT Factory {
 public:
  // On a VM's thread, that VM; on any other thread a local VM around the engine instance
  // current there (kvnInstance::GetKVN, possibly null), whose operations run on the calling
  // thread and which never releases that instance.
  static boost::shared_ptr<ZVM> getCurrentLocalZVM();
};

}  // namespace zvm
