#pragma once
// Command-window sinks: where the runtime's printed output and error text go. The engine writes
// text to a sink in pieces of any size; a sink decides where it ends up. The process has one
// sink factory at a time (CmdWinSinkHandle) that makes the print and error sinks; a host
// installs a DefaultPrintHandlerSinkFactory to receive the text through its own handlers.

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <mutex>
#include <string>

#include "util/export.hpp"

// Receives text. Implementations must accept calls from several threads.
class RTKUTIL_EXPORT CmdWinSink {
 public:
  CmdWinSink() = default;
  virtual ~CmdWinSink();
  CmdWinSink(const CmdWinSink&) = delete;
  CmdWinSink& operator=(const CmdWinSink&) = delete;

  // Takes length bytes of text: part of a line, one line or several.
  virtual void write(const char* text, size_t length) = 0;
  void write(const std::string& text) { write(text.data(), text.size()); }
  // Delivers whatever the sink still holds back. The default holds nothing back.
  virtual void flush();
};

// The handler type of the runtime's print and error handlers: takes zero-terminated text, returns
// a count or status that the sinks ignore.
using CmdWinTextHandler = boost::function<int(const char*)>;

// Forwards text to a handler one line at a time: each complete line, with its "\n", goes to the
// handler in one call; a final piece without "\n" is held until the rest of its line arrives or
// flush() (also run by the destructor) delivers it on its own. Lines reach the handler in the
// order they were written; lines that a thread writes whole, in one call, never mix with another
// thread's text. The handler runs with the sink's mutex held, so it must not write to the same
// sink.
class RTKUTIL_EXPORT PutsFnSink : public CmdWinSink {
 public:
  // An empty handler throws std::invalid_argument.
  explicit PutsFnSink(CmdWinTextHandler handler);
  ~PutsFnSink() override;

  void write(const char* text, size_t length) override;
  using CmdWinSink::write;
  void flush() override;

 private:
  std::mutex mutex_;
  CmdWinTextHandler handler_;
  std::string pendingLine_;  // guarded by mutex_
};

// Makes the sinks for printed output and for error text.
class RTKUTIL_EXPORT CmdWinSinkFactory {
 public:
  CmdWinSinkFactory() = default;
  virtual ~CmdWinSinkFactory();
  CmdWinSinkFactory(const CmdWinSinkFactory&) = delete;
  CmdWinSinkFactory& operator=(const CmdWinSinkFactory&) = delete;

  virtual boost::shared_ptr<CmdWinSink> makePrintSink() = 0;
  virtual boost::shared_ptr<CmdWinSink> makeErrorSink() = 0;
};

// A factory whose sinks forward lines (as PutsFnSink does) to a print handler and an error
// handler. The sinks always use the handler set last, also when the handler is set after they
// were made; while no handler is set (or after an empty one is set) printed output goes to
// standard output and error text to standard error.
class RTKUTIL_EXPORT DefaultPrintHandlerSinkFactory : public CmdWinSinkFactory {
 public:
  DefaultPrintHandlerSinkFactory();
  ~DefaultPrintHandlerSinkFactory() override;

  void setPrintHandler(const CmdWinTextHandler& handler);
  void setErrorHandler(const CmdWinTextHandler& handler);

  boost::shared_ptr<CmdWinSink> makePrintSink() override;
  boost::shared_ptr<CmdWinSink> makeErrorSink() override;

 private:
  struct HandlerSlot;  // a handler that can be replaced while sinks use it
  boost::shared_ptr<HandlerSlot> print_;
  boost::shared_ptr<HandlerSlot> error_;
};

// The process-wide sink factory and the print and error sinks it made. The sinks are made once
// per factory, on first request, and shared by every caller until another factory is installed.
class RTKUTIL_EXPORT CmdWinSinkHandle {
 public:
  // Installs factory for the whole process; null installs a DefaultPrintHandlerSinkFactory
  // without handlers (standard output and standard error), which is also what the process
  // starts with. Sinks of the previous factory that nobody else holds are flushed and released.
  static void setFactory(boost::shared_ptr<CmdWinSinkFactory> factory);
  static boost::shared_ptr<CmdWinSinkFactory> getFactory();

  static boost::shared_ptr<CmdWinSink> printSink();
  static boost::shared_ptr<CmdWinSink> errorSink();

  CmdWinSinkHandle() = delete;
};
