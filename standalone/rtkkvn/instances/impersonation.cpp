// Impersonated calls: a function call made with the file-system identity of another user. The
// identity is taken on the interpreter thread with setfsuid/setfsgid, which act on one thread
// only, so other threads of the process keep their own identity; the thread becomes itself
// again after the call, whether the call succeeded or not.

#include <pwd.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/instance.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/instance_registry.hpp"

namespace {

constexpr const char* kSourceTag = "standalone/rtkkvn/kvn_inst";

// Serialises impersonated calls, so that two of them never overlap on the interpreter thread.
boost::mutex impersonationLock;

std::string systemMessage(int error) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text ? text : "";
}

// The calling thread's file-system ids as they are now (setfsuid with an invalid id changes
// nothing and answers the current one).
uid_t currentFsUid() { return static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))); }
gid_t currentFsGid() { return static_cast<gid_t>(::setfsgid(static_cast<gid_t>(-1))); }

// Gives the calling thread the file-system identity of user. The empty string on success, else
// the system's message.
std::string takeIdentity(uid_t user) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  const int error = ::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found);
  if (error != 0) return systemMessage(error);
  if (found == nullptr) return "No user with id " + std::to_string(user) + ".";
  // The group first: once the user is no longer privileged it could not be changed.
  ::setfsgid(found->pw_gid);
  if (currentFsGid() != found->pw_gid) return systemMessage(EPERM);
  ::setfsuid(user);
  if (currentFsUid() != user) {
    ::setfsgid(::getegid());
    return systemMessage(EPERM);
  }
  return std::string();
}

// Gives the calling thread back its own file-system identity, the effective ids of the process.
std::string takeOwnIdentity() {
  ::setfsuid(::geteuid());
  ::setfsgid(::getegid());
  if (currentFsUid() != ::geteuid() || currentFsGid() != ::getegid()) {
    return systemMessage(EPERM);
  }
  return std::string();
}

// Runs change on the interpreter thread; a message it gives back is thrown on the calling thread.
template <typename Change>
void onInterpreterThread(Change change) {
  std::string message;
  kvn_invoke_on_interpreter_thread([&]() -> std::int64_t {
    message = change();
    return 0;
  });
  if (!message.empty()) throw std::runtime_error(message);
}

}  // namespace

extern "C" RTKKVN_EXPORT bool rtkImpersonationFeval(HKVNINSTANCE instance, const char* name,
                                                    int nlhs, zyArray** plhs, int nrhs,
                                                    zyArray** prhs, uid_t token) {
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:Feval", kSourceTag), false, [&] {
    boost::lock_guard<boost::mutex> lock(impersonationLock);
    const RtkInstancePin target(instance, "rtkImpersonationFeval");
    rtkCheckCallArguments("rtkImpersonationFeval", nlhs, plhs, nrhs, prhs);
    onInterpreterThread([token] { return takeIdentity(token); });
    // When the call fails, its error is the one reported; the identity is given back all the same.
    struct EndImpersonation {
      bool pending = true;
      ~EndImpersonation() {
        if (!pending) return;
        try {
          stopImpersonationOnKVNThread();
        } catch (...) {
        }
      }
    } end;
    target->feval(name, nlhs, plhs, nrhs, prhs);
    end.pending = false;
    stopImpersonationOnKVNThread();
    return true;
  });
}

RTKKVN_EXPORT void stopImpersonationOnKVNThread() { onInterpreterThread(takeOwnIdentity); }
