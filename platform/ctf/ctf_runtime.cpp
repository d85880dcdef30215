#include "ctf/ctf_runtime.hpp"

#include <exception>
#include <mutex>

#include "ctf/ctf_archive.hpp"
#include "util/text_conversion.hpp"

namespace {

std::mutex sinkMutex;
CtfrtHandler errorSink;   // guarded by sinkMutex
CtfrtHandler outputSink;  // guarded by sinkMutex

thread_local std::string lastError;
// The last successful unpack on this thread: where it went and what it made.
thread_local std::wstring lastUnpackFolder;
thread_local std::vector<Ostrand::ctfpack::UnpackedEntry> lastUnpack;

void reportError(const std::string& text) {
  CtfrtHandler sink;
  {
    const std::lock_guard<std::mutex> hold(sinkMutex);
    sink = errorSink;
  }
  // Called without the lock: a handler may print through code that reports again.
  if (sink) sink((text + "\n").c_str());
}

}  // namespace

void set_ctfrt_error_handler(const CtfrtHandler& handler) {
  const std::lock_guard<std::mutex> hold(sinkMutex);
  errorSink = handler;
}

void set_ctfrt_output_handler(const CtfrtHandler& handler) {
  const std::lock_guard<std::mutex> hold(sinkMutex);
  outputSink = handler;
}

bool ctfruntimeExtractCtf(const std::wstring& archivePath, const std::wstring& dir) {
  lastError.clear();
  lastUnpackFolder.clear();
  lastUnpack.clear();
  try {
    Ostrand::ctfpack::extractArchive(fl::i18n::to_string(archivePath), fl::i18n::to_string(dir),
                                     lastUnpack);
    lastUnpackFolder = dir;
    return true;
  } catch (const std::exception& error) {
    lastError = error.what();
  } catch (...) {
    lastError = "unpacking failed for an unknown reason";
  }
  reportError(lastError);
  return false;
}

std::string ctfruntimeLastError() { return lastError; }

const std::vector<Ostrand::ctfpack::UnpackedEntry>* ctfruntimeLastUnpack(const std::wstring& dir) {
  return !lastUnpackFolder.empty() && dir == lastUnpackFolder ? &lastUnpack : nullptr;
}

std::optional<std::vector<Ostrand::ctfpack::UnpackedEntry>> ctfruntimeTakeLastUnpack(
    const std::wstring& dir) {
  std::optional<std::vector<Ostrand::ctfpack::UnpackedEntry>> taken;
  if (ctfruntimeLastUnpack(dir)) taken = std::move(lastUnpack);
  lastUnpack.clear();
  lastUnpackFolder.clear();
  return taken;
}
