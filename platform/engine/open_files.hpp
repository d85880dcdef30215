#pragma once
// The files a Q program has open with fopen, by file id: a table per engine instance (held by
// the Interpreter), so that instances never see each other's ids, and closed with the instance.
// Ids 0, 1 and 2 stand for standard input, output and errors and are never in the table; the
// files opened get the lowest free id from 3 on.
//
// Only regular files are opened (a new one is created by the writing permissions): reading a
// FIFO or a device could block the engine or never end. builtins_files.cpp holds the built-ins
// that use the table.

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace q {

class OpenFiles {
 public:
  static constexpr int kFirstId = 3;
  // At most this many files open at once per instance, so that a program that forgets fclose
  // in a loop runs out of ids rather than of the process's descriptors.
  static constexpr std::size_t kMaxOpen = 256;

  struct File {
    std::FILE* stream = nullptr;
    std::string name;        // as given to fopen
    std::string permission;  // "r", "w", "a", "r+", "w+" or "a+"
    bool readable = false;
    bool writable = false;
    bool lastWrote = false;  // the last operation wrote: a read must reposition first
    bool lastRead = false;   // the last operation read: a write must reposition first
    bool atEnd = false;      // a read has reached the end of the file
  };

  OpenFiles() = default;
  ~OpenFiles() { closeAll(); }
  OpenFiles(const OpenFiles&) = delete;
  OpenFiles& operator=(const OpenFiles&) = delete;

  // Opens name with a permission ('r', 'w', 'a', 'r+', 'w+', 'a+', each optionally with 't'
  // or 'b', which change nothing): the new id, or -1 with the reason in message. A permission
  // of another form raises Q:invalidInput.
  int open(const std::string& name, const std::string& permission, std::string& message);
  // The open file of id, or null.
  File* find(int id);
  // The open file of id, which must be a whole number naming one (Q:invalidFid otherwise).
  File& get(double id, const char* function);
  // Closes the file of id (which must be open): false when flushing or closing failed.
  bool close(int id);
  void closeAll();
  // The open ids in increasing order.
  std::vector<int> ids() const;

  // Before reading or writing: switches the stream's direction when it changes (stdio needs a
  // positioning call between a write and a read) and checks the permission (Q:invalidInput).
  static void startRead(File& file, const char* function);
  static void startWrite(File& file, const char* function);
  // Writes size bytes; an OS failure raises Q:fileWrite with its text.
  static void write(File& file, const char* data, std::size_t size, const char* function);
  // The size of the file as it is now (written data flushed first), or -1.
  static std::int64_t size(File& file);
  // After a read: notes whether nothing is left to read (looking ahead one byte), so that feof
  // turns true once the last line or byte has been read.
  static void noteEnd(File& file);

 private:
  std::map<int, File> files_;
};

}  // namespace q
