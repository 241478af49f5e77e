#pragma once
// Whole-file reads and writes for the configuration and the trace, one file per OS.
#include <optional>
#include <string>

namespace corvane {

// How a line of a text file of this OS ends: CR LF on Windows, LF elsewhere.
extern const char kTextLineEnd[];

// The whole file; empty when it does not exist, nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Puts data in place of the file's contents. An existing file is replaced through a new
// file beside it, so a full disk or a crash midway leaves the old contents rather than a
// cut-off file; where no file can be made beside it, it is overwritten in place.
bool WriteWholeFile(const std::string& path, const std::string& data);

// Whether something of that name exists.
bool FileExists(const std::string& path);

// Creates the file empty, or empties it.
bool EmptyFile(const std::string& path);

// Gives the file at from the name to, replacing a file of that name. False, with both
// files as they were, when from is missing or the move fails.
bool MoveFileOver(const std::string& from, const std::string& to);

// Appends bytes in one write, creating the file when it is missing (a trace deleted while
// the log is active comes back); an existing file is never emptied.
bool AppendToFile(const std::string& path, const std::string& bytes);

}  // namespace corvane
