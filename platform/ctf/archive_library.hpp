#pragma once
// Inside libctfpack: libarchive, opened when the first archive is unpacked or written (or a
// manifest read that zip_directory's own reader leaves to it), not when libctfpack is loaded.
// libarchive brings a dozen libraries with it (compressors, XML, ICU), and a process that only
// starts a component from the cache never needs any of them (docs/lazy-loading.md).

#include <archive.h>
#include <archive_entry.h>

#include <string>

namespace Ostrand::ctfpack::detail {

// Every libarchive function libctfpack calls, by its name without the "archive_" prefix.
// clang-format off
#define CTFPACK_LIBARCHIVE_FUNCTIONS(X) \
  X(error_string)                                                                                  \
  X(read_new) X(read_free) X(read_support_format_zip_seekable) X(read_set_callback_data)           \
  X(read_set_read_callback) X(read_set_seek_callback) X(read_set_skip_callback) X(read_open1)      \
  X(read_next_header) X(read_data) X(read_data_block)                                              \
  X(write_new) X(write_free) X(write_set_format_zip) X(write_open_fd) X(write_header) X(write_data) \
  X(write_close)                                                                                   \
  X(entry_new) X(entry_free) X(entry_pathname) X(entry_filetype) X(entry_is_encrypted)             \
  X(entry_symlink) X(entry_perm) X(entry_mtime) X(entry_set_pathname) X(entry_set_mtime)           \
  X(entry_set_perm) X(entry_set_filetype) X(entry_set_symlink) X(entry_set_size)
// clang-format on

struct ArchiveLibrary {
#define CTFPACK_LIBARCHIVE_POINTER(name) decltype(&::archive_##name) name = nullptr;
  CTFPACK_LIBARCHIVE_FUNCTIONS(CTFPACK_LIBARCHIVE_POINTER)
#undef CTFPACK_LIBARCHIVE_POINTER
};

// The process's libarchive (libarchive.so.13, found as the dynamic loader finds libraries, so
// that a program linked with libarchive shares its copy), opened on the first call from any
// thread and never closed. Throws opc::Exception "component archive "<archivePath>": ..." on
// this and every later call when it could not be opened or lacks a function.
const ArchiveLibrary& archiveLibrary(const std::string& archivePath);

// Opens library and resolves every function into functions: "" when all are there, else what
// failed. What archiveLibrary does once; a library opened stays loaded.
std::string loadArchiveLibrary(const char* library, ArchiveLibrary& functions);

}  // namespace Ostrand::ctfpack::detail
