#include "util/sinks.hpp"

#include <boost/make_shared.hpp>
#include <cstdio>
#include <cstring>
#include <stdexcept>

// Sinks

CmdWinSink::~CmdWinSink() = default;

void CmdWinSink::flush() {}

PutsFnSink::PutsFnSink(CmdWinTextHandler handler) : handler_(std::move(handler)) {
  if (handler_.empty()) throw std::invalid_argument("PutsFnSink needs a handler");
}

PutsFnSink::~PutsFnSink() {
  try {
    flush();
  } catch (...) {
    // A handler that fails while the sink goes away has nowhere left to report to.
  }
}

void PutsFnSink::write(const char* text, size_t length) {
  if (!text || length == 0) return;
  std::lock_guard<std::mutex> guard(mutex_);
  size_t start = 0;
  while (start < length) {
    const auto* newline = static_cast<const char*>(std::memchr(text + start, '\n', length - start));
    if (!newline) {
      pendingLine_.append(text + start, length - start);
      return;
    }
    const size_t end = static_cast<size_t>(newline - text) + 1;
    pendingLine_.append(text + start, end - start);
    // Cleared before the call so that a throwing handler cannot make the line go out twice.
    const std::string line = std::move(pendingLine_);
    pendingLine_.clear();
    handler_(line.c_str());
    start = end;
  }
}

void PutsFnSink::flush() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (pendingLine_.empty()) return;
  const std::string line = std::move(pendingLine_);
  pendingLine_.clear();
  handler_(line.c_str());
}

// The default factory

CmdWinSinkFactory::~CmdWinSinkFactory() = default;

struct DefaultPrintHandlerSinkFactory::HandlerSlot {
  explicit HandlerSlot(FILE* fallback) : fallback(fallback) {}

  void set(const CmdWinTextHandler& replacement) {
    std::lock_guard<std::mutex> guard(mutex);
    handler = replacement;
  }

  // Called by the sinks, one line at a time.
  int deliver(const char* line) {
    CmdWinTextHandler current;
    {
      std::lock_guard<std::mutex> guard(mutex);
      current = handler;
    }
    if (current.empty()) {
      const int written = std::fputs(line, fallback);
      std::fflush(fallback);
      return written;
    }
    return current(line);
  }

  std::mutex mutex;
  CmdWinTextHandler handler;  // guarded by mutex; empty: write to fallback
  FILE* const fallback;
};

DefaultPrintHandlerSinkFactory::DefaultPrintHandlerSinkFactory()
    : print_(boost::make_shared<HandlerSlot>(stdout)),
      error_(boost::make_shared<HandlerSlot>(stderr)) {}

DefaultPrintHandlerSinkFactory::~DefaultPrintHandlerSinkFactory() = default;

void DefaultPrintHandlerSinkFactory::setPrintHandler(const CmdWinTextHandler& handler) {
  print_->set(handler);
}

void DefaultPrintHandlerSinkFactory::setErrorHandler(const CmdWinTextHandler& handler) {
  error_->set(handler);
}

// The sinks keep their slot alive, so they safely outlive the factory that made them.
boost::shared_ptr<CmdWinSink> DefaultPrintHandlerSinkFactory::makePrintSink() {
  auto slot = print_;
  return boost::make_shared<PutsFnSink>([slot](const char* line) { return slot->deliver(line); });
}

boost::shared_ptr<CmdWinSink> DefaultPrintHandlerSinkFactory::makeErrorSink() {
  auto slot = error_;
  return boost::make_shared<PutsFnSink>([slot](const char* line) { return slot->deliver(line); });
}

// The process-wide handle

namespace {

struct SinkRegistry {
  std::mutex mutex;
  boost::shared_ptr<CmdWinSinkFactory> factory;  // guarded by mutex; made on first use
  boost::shared_ptr<CmdWinSink> printSink;       // guarded by mutex; made on first use
  boost::shared_ptr<CmdWinSink> errorSink;       // guarded by mutex; made on first use
};

// Never destroyed, so that output written while the process exits still finds its sinks.
SinkRegistry& sinkRegistry() {
  static SinkRegistry* registry = new SinkRegistry;
  return *registry;
}

boost::shared_ptr<CmdWinSinkFactory> factoryLocked(SinkRegistry& registry) {
  if (!registry.factory) registry.factory = boost::make_shared<DefaultPrintHandlerSinkFactory>();
  return registry.factory;
}

}  // namespace

void CmdWinSinkHandle::setFactory(boost::shared_ptr<CmdWinSinkFactory> factory) {
  if (!factory) factory = boost::make_shared<DefaultPrintHandlerSinkFactory>();
  boost::shared_ptr<CmdWinSinkFactory> previousFactory;
  boost::shared_ptr<CmdWinSink> previousPrint, previousError;
  {
    SinkRegistry& registry = sinkRegistry();
    std::lock_guard<std::mutex> guard(registry.mutex);
    previousFactory = std::move(registry.factory);
    previousPrint = std::move(registry.printSink);
    previousError = std::move(registry.errorSink);
    registry.factory = std::move(factory);
    registry.printSink.reset();
    registry.errorSink.reset();
  }
  // The old sinks flush into their handlers here, outside the registry's mutex, so a handler
  // may itself use the handle.
}

boost::shared_ptr<CmdWinSinkFactory> CmdWinSinkHandle::getFactory() {
  SinkRegistry& registry = sinkRegistry();
  std::lock_guard<std::mutex> guard(registry.mutex);
  return factoryLocked(registry);
}

boost::shared_ptr<CmdWinSink> CmdWinSinkHandle::printSink() {
  SinkRegistry& registry = sinkRegistry();
  std::lock_guard<std::mutex> guard(registry.mutex);
  if (!registry.printSink) registry.printSink = factoryLocked(registry)->makePrintSink();
  return registry.printSink;
}

boost::shared_ptr<CmdWinSink> CmdWinSinkHandle::errorSink() {
  SinkRegistry& registry = sinkRegistry();
  std::lock_guard<std::mutex> guard(registry.mutex);
  if (!registry.errorSink) registry.errorSink = factoryLocked(registry)->makeErrorSink();
  return registry.errorSink;
}
