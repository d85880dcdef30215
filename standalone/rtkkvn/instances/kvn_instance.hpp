#pragma once
// Runtime instances: what an HKVNINSTANCE points to. RtkKvnInstance is the interface the rest of
// the library drives; RtkDirectKvnInstance owns (or, as a host wrapper, borrows) an engine
// instance of this process.
//
// RtkZvmKvnInstance reaches its engine instance through a VM of the process session, looked up
// by id at every call.
//
// Ownership: an instance made by a factory belongs to whoever holds its handle and is destroyed
// by termination; its destructor removes it from the registry through its unregisterCallback.
// A host wrapper has no callback and is never terminated or deleted by the library.

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <memory>
#include <string>

#include "engine/instance.hpp"
#include "zy.h"

class rtkExtractedComponent;
namespace zvm {
class ZVM;
}
class RtkKvnInstance;
class QfileReader;
class NubFileReader;

// Removes an instance from the registry; called by the instance's destructor.
using RtkUnregisterCallback = boost::function<void(RtkKvnInstance*)>;

// Serialises every feval of direct instances made from threads that are not already inside the
// engine. Allocated while the library loads; null only if that allocation failed.
extern boost::mutex* instanceCallLock;

// Refuses gateway-shape call arguments that no caller can mean: a negative nlhs or nrhs, plhs
// NULL with nlhs > 0, prhs NULL with nrhs > 0 (a NULL entry of prhs stays a 0-by-0 double).
// Throws rtkCallerException naming function and the argument.
void rtkCheckCallArguments(const char* function, int nlhs, zyArray** plhs, int nrhs,
                           zyArray** prhs);

// While it lives, the array library reports errors by throwing rather than printing: when the
// current error mode is 0 the constructor sets mode and the destructor restores the previous
// one; otherwise the guard does nothing.
class setErrorMode {
 public:
  explicit setErrorMode(int mode);
  ~setErrorMode();
  setErrorMode(const setErrorMode&) = delete;
  setErrorMode& operator=(const setErrorMode&) = delete;

 private:
  bool changed_ = false;
  int previous_ = 0;
};

class RtkKvnInstance {
 public:
  RtkKvnInstance() = default;
  virtual ~RtkKvnInstance();
  RtkKvnInstance(const RtkKvnInstance&) = delete;
  RtkKvnInstance& operator=(const RtkKvnInstance&) = delete;

  // The engine's id of the instance (stays readable after terminate).
  virtual int getId() = 0;
  // Closes figures, clears the instance's data and releases the engine instance. Afterwards the
  // object answers only getId until it is deleted.
  virtual void terminate() = 0;
  // Runs command in the base workspace; false on error.
  virtual bool evalString(const std::wstring& command) = 0;
  // Calls name with the gateway shape; outputs in plhs belong to the caller. Throws
  // rtkSorvelException on a script error.
  virtual void feval(const char* name, int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) = 0;
  virtual bool isPublicFunction(const char* name) = 0;
  virtual bool registerExternalFunction(const char* name, KvnGatewayCallback callback) = 0;
  virtual bool registerEventFunction(const char* name, KvnGatewayCallback callback) = 0;
  virtual zyArray* javaObjectToZyArray(jobject object) = 0;
  virtual jobject zyArrayToJavaObject(zyArray* array) = 0;
  // The engine instance; null once terminated.
  virtual kvnInstance* getKvnInstance() = 0;

  // What stops and bounds the calls of the engine instance (its kvnCallControl, shared with it);
  // null for a host wrapper around no engine instance. Set at construction and never changed,
  // so it may be read from any thread while this object lives.
  kvnCallControl* callControl() const { return callControl_.get(); }

 protected:
  std::shared_ptr<kvnCallControl> callControl_;
};

class BasicRtkKvnInstance : public RtkKvnInstance {
 public:
  explicit BasicRtkKvnInstance(boost::shared_ptr<rtkExtractedComponent> component);
  ~BasicRtkKvnInstance() override;
  // Exact, case-sensitive match against the component's public functions; false for an
  // instance without a component, which has no such list.
  bool isPublicFunction(const char* name) override;

 protected:
  void releaseComponent() { extractedComponent_.reset(); }

 private:
  boost::shared_ptr<rtkExtractedComponent> extractedComponent_;
};

class RtkDirectKvnInstance : public BasicRtkKvnInstance {
 public:
  // Starts an engine instance from options (either reader may be null). Throws what the engine
  // throws (kvnInstantiationError), in which case nothing is registered or kept.
  RtkDirectKvnInstance(const RtkUnregisterCallback& unregisterCallback,
                       boost::shared_ptr<rtkExtractedComponent> component,
                       const kvnOptions& options, boost::shared_ptr<QfileReader> qfileReader,
                       boost::shared_ptr<NubFileReader> nubFileReader);
  // Host wrapper around an engine instance that someone else owns.
  explicit RtkDirectKvnInstance(kvnInstance* engine);
  ~RtkDirectKvnInstance() override;

  int getId() override { return id_; }
  void terminate() override;
  bool evalString(const std::wstring& command) override;
  void feval(const char* name, int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) override;
  bool registerExternalFunction(const char* name, KvnGatewayCallback callback) override;
  bool registerEventFunction(const char* name, KvnGatewayCallback callback) override;
  zyArray* javaObjectToZyArray(jobject object) override;
  jobject zyArrayToJavaObject(zyArray* array) override;
  kvnInstance* getKvnInstance() override { return engine_; }

 private:
  void callEngine(const char* name, int nlhs, zyArray** plhs, int nrhs, zyArray** prhs);
  kvnInstance& liveEngine();

  kvnInstance* engine_;
  RtkUnregisterCallback unregisterCallback_;
  int id_;
};

// An instance whose engine instance runs in a VM of the process session (gzvmProcessSession).
// Calls are answered through the VM's futures; while waiting, the caller gives up kvn_mutex so
// that the VM's thread can run the engine.
class RtkZvmKvnInstance : public BasicRtkKvnInstance {
 public:
  // id: the VM's id in the process session, which this object releases at terminate.
  RtkZvmKvnInstance(const RtkUnregisterCallback& unregisterCallback, int id,
                    boost::shared_ptr<rtkExtractedComponent> component);
  ~RtkZvmKvnInstance() override;

  int getId() override { return id_; }
  // Closes figures and clears data, then stops the VM, waits for it and releases it.
  void terminate() override;
  bool evalString(const std::wstring& command) override;
  void feval(const char* name, int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) override;
  bool registerExternalFunction(const char* name, KvnGatewayCallback callback) override;
  bool registerEventFunction(const char* name, KvnGatewayCallback callback) override;
  zyArray* javaObjectToZyArray(jobject object) override;
  jobject zyArrayToJavaObject(zyArray* array) override;
  // The engine instance of the VM (it belongs to the VM's thread); null once terminated.
  kvnInstance* getKvnInstance() override;

 private:
  // The VM; throws rtkInternalException once the session no longer knows it.
  boost::shared_ptr<zvm::ZVM> liveVm();
  kvnInstance& liveEngine();

  int id_;
  RtkUnregisterCallback unregisterCallback_;
};
