#pragma once
// The archive runtime: the unpack call the component runtime uses, and where it reports. The
// runtime has two process-wide sinks, one for errors and one for other output (unpacking prints
// nothing but errors today); both start silent. Whoever creates a component instance points them at
// the host's handlers for the duration of the creation, so that what goes wrong while an archive is
// unpacked reaches the host, and silences them again afterwards.
//
// Thread safety: the sinks are guarded by one mutex of this library; a sink is called without
// it, on the thread that reports. The last error text is per thread.

#include <boost/function.hpp>
#include <optional>
#include <string>
#include <vector>

#include "ctf/ctf_archive.hpp"
#include "ctf/export.hpp"

// A sink: takes a text (one message, ending with a line feed), returns what the host's handler
// returns. An empty function silences the sink.
typedef boost::function<int(const char*)> CtfrtHandler;

CTF_EXPORT void set_ctfrt_error_handler(const CtfrtHandler& handler);
CTF_EXPORT void set_ctfrt_output_handler(const CtfrtHandler& handler);

// Unpacks the archive file archivePath into dir (extractArchive with wide paths). On failure
// answers false instead of throwing: the reason goes to the error sink and becomes this thread's
// last archive error.
CTF_EXPORT bool ctfruntimeExtractCtf(const std::wstring& archivePath, const std::wstring& dir);

// Why the last ctfruntimeExtractCtf of this thread failed ("" after a success), for callers that
// turn the false answer into an error of their own and want to name the cause.
CTF_EXPORT std::string ctfruntimeLastError();

// What the last ctfruntimeExtractCtf on this thread made (Ostrand::ctfpack::extractArchive's
// list), when it succeeded and unpacked into dir (the same text); null otherwise. The list stays
// until the next unpack on this thread or until it is taken.
CTF_EXPORT const std::vector<Ostrand::ctfpack::UnpackedEntry>* ctfruntimeLastUnpack(
    const std::wstring& dir);
// The same list moved out (none when there is none): the thread keeps nothing of it.
CTF_EXPORT std::optional<std::vector<Ostrand::ctfpack::UnpackedEntry>> ctfruntimeTakeLastUnpack(
    const std::wstring& dir);
