#pragma once
// Inside libctfpack: the writes of an unpack handed to a second thread, so that inflating the
// next entry and writing the last one (file creation, copying into the page cache, starting the
// writeback) overlap on a machine with more than one core.
//
// The queue takes the FolderWriter calls in order and a worker thread makes them in the same
// order; the data of write() is copied, and at most a few megabytes wait at any time. A failure
// of the worker is thrown by the next call made here (so the unpack stops early) and by
// finish(). Without a thread (small archives, where starting one costs more than it saves) every
// call goes straight to the writer. One queue serves one unpack on one thread.

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <ctime>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ctf/folder_writer.hpp"

namespace Ostrand::ctfpack::detail {

class WriteQueue {
 public:
  WriteQueue(FolderWriter& writer, bool threaded);
  // Stops the worker; what is still queued is not written.
  ~WriteQueue();
  WriteQueue(const WriteQueue&) = delete;
  WriteQueue& operator=(const WriteQueue&) = delete;

  // As FolderWriter's calls, made later by the worker.
  void makeFolder(const std::string& name, mode_t mode, std::time_t modified);
  void makeLink(const std::string& name, const std::string& target, std::time_t modified);
  void createFile(const std::string& name, mode_t mode);
  void write(const void* data, std::size_t size);
  void closeFile(std::time_t modified);
  // Waits until everything queued is written, then FolderWriter::finish(). Throws what the
  // writer threw.
  void finish();

 private:
  enum class Kind { folder, link, file, data, close };
  struct Operation {
    Kind kind;
    std::string name;
    std::string target;  // a link's
    mode_t mode = 0;
    std::time_t modified = 0;
    std::vector<char> data;
  };

  void push(Operation operation);
  void apply(Operation& operation);
  void work();
  // Throws the worker's failure, if any. Caller holds mutex_.
  void throwFailure();

  FolderWriter& writer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Operation> queue_;      // guarded by mutex_
  std::size_t queuedBytes_ = 0;      // guarded by mutex_
  bool busy_ = false;                // the worker is applying an operation; guarded by mutex_
  bool stopping_ = false;            // guarded by mutex_
  std::exception_ptr failure_;       // guarded by mutex_
  std::thread worker_;               // not joinable without a thread
};

}  // namespace Ostrand::ctfpack::detail
