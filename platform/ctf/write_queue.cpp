#include "ctf/write_queue.hpp"

#include <utility>

namespace Ostrand::ctfpack::detail {

namespace {

// Enough to keep the worker busy while the next entry inflates; a bound on what an unpack holds
// in memory beyond libarchive's own buffers.
constexpr std::size_t kMaxQueuedBytes = 8u << 20;

}  // namespace

WriteQueue::WriteQueue(FolderWriter& writer, bool threaded) : writer_(writer) {
  if (threaded) worker_ = std::thread([this] { work(); });
}

WriteQueue::~WriteQueue() {
  if (!worker_.joinable()) return;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void WriteQueue::makeFolder(const std::string& name, mode_t mode, std::time_t modified) {
  push({Kind::folder, name, {}, mode, modified, {}});
}

void WriteQueue::makeLink(const std::string& name, const std::string& target,
                          std::time_t modified) {
  push({Kind::link, name, target, 0, modified, {}});
}

void WriteQueue::createFile(const std::string& name, mode_t mode) {
  push({Kind::file, name, {}, mode, 0, {}});
}

void WriteQueue::write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  push({Kind::data, {}, {}, 0, 0, std::vector<char>(bytes, bytes + size)});
}

void WriteQueue::closeFile(std::time_t modified) { push({Kind::close, {}, {}, 0, modified, {}}); }

void WriteQueue::finish() {
  if (worker_.joinable()) {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return failure_ || (queue_.empty() && !busy_); });
    throwFailure();
  }
  writer_.finish();
}

void WriteQueue::push(Operation operation) {
  if (!worker_.joinable()) {
    apply(operation);
    return;
  }
  const std::size_t size = operation.data.size();
  {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return failure_ || queuedBytes_ < kMaxQueuedBytes; });
    throwFailure();
    queuedBytes_ += size;
    queue_.push_back(std::move(operation));
  }
  changed_.notify_all();
}

void WriteQueue::apply(Operation& operation) {
  switch (operation.kind) {
    case Kind::folder:
      writer_.makeFolder(operation.name, operation.mode, operation.modified);
      break;
    case Kind::link:
      writer_.makeLink(operation.name, operation.target, operation.modified);
      break;
    case Kind::file:
      writer_.createFile(operation.name, operation.mode);
      break;
    case Kind::data:
      writer_.write(operation.data.data(), operation.data.size());
      break;
    case Kind::close:
      writer_.closeFile(operation.modified);
      break;
  }
}

void WriteQueue::work() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    changed_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    Operation operation = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    hold.unlock();
    std::exception_ptr failure;
    try {
      apply(operation);
    } catch (...) {
      failure = std::current_exception();
    }
    hold.lock();
    busy_ = false;
    queuedBytes_ -= operation.data.size();
    changed_.notify_all();
    if (failure) {
      // Nothing after a failed write is written; the producer learns of it at its next call.
      failure_ = failure;
      queue_.clear();
      return;
    }
  }
}

void WriteQueue::throwFailure() {
  if (failure_) std::rethrow_exception(failure_);
}

}  // namespace Ostrand::ctfpack::detail
