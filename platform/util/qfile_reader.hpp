#pragma once
// Readers of Q-code files. The engine never opens a script file itself: it asks the instance's
// QfileReader for the source text, so that a component can keep its files in a protected form
// that only its own reader understands. PlaintextQfileReader is the reader for unprotected
// files on disk.

#include <string>

#include "util/export.hpp"

class RTKUTIL_EXPORT QfileReader {
 public:
  QfileReader() = default;
  virtual ~QfileReader();
  QfileReader(const QfileReader&) = delete;
  QfileReader& operator=(const QfileReader&) = delete;

  // The Q source text (UTF-8) of the file at path: a plain ".q" file, or a compiled ".qc" file
  // that this reader knows how to open. Throws std::runtime_error, naming the file, when the
  // file cannot be read. Called with the engine mutex held; must not call into the engine.
  virtual std::string read(const std::string& path) = 0;
};

// Reads files as they are on disk: the whole file is the source text.
class RTKUTIL_EXPORT PlaintextQfileReader : public QfileReader {
 public:
  PlaintextQfileReader();
  ~PlaintextQfileReader() override;

  std::string read(const std::string& path) override;
};
