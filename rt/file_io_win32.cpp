#include <windows.h>

#include <algorithm>

#include "rt/file_io.h"
#include "rt/utf16_win32.h"

namespace corvane {

const char kTextLineEnd[] = "\r\n";

namespace {

// A file handle released with the object.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  bool Close() {
    const HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

HANDLE OpenForWriting(const std::string& path, DWORD disposition, DWORD access = GENERIC_WRITE) {
  return CreateFileW(Utf16(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE h, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
    if (!::WriteFile(h, data.data() + done, chunk, &n, nullptr)) return false;
    done += n;
  }
  return true;
}

bool WriteInPlace(const std::string& path, const std::string& data) {
  FileHandle f(OpenForWriting(path, CREATE_ALWAYS));
  return f.valid() && WriteAll(f.get(), data) && f.Close();
}

// A rename over an existing file. Another program holding either file (a log viewer, a
// virus scanner looking at a new file) refuses it for a moment: tried a few times.
bool ReplaceByName(const std::string& from, const std::string& to, DWORD flags) {
  constexpr int kTries = 5;
  constexpr DWORD kPauseMs = 20;
  for (int i = 0; i < kTries; ++i) {
    if (MoveFileExW(Utf16(from).c_str(), Utf16(to).c_str(), MOVEFILE_REPLACE_EXISTING | flags))
      return true;
    const DWORD err = GetLastError();
    if (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED && err != ERROR_LOCK_VIOLATION)
      return false;
    Sleep(kPauseMs);
  }
  return false;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  FileHandle f(CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.valid()) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return std::string();
    return std::nullopt;
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(f.get(), buffer, sizeof buffer, &n, nullptr)) return std::nullopt;
    if (n == 0) return data;
    data.append(buffer, n);
  }
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  const DWORD attributes = GetFileAttributesW(Utf16(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return WriteInPlace(path, data);
  const std::string temp = path + ".new";
  {
    FileHandle f(OpenForWriting(temp, CREATE_ALWAYS));
    if (!f.valid()) return WriteInPlace(path, data);
    if (!WriteAll(f.get(), data) || !FlushFileBuffers(f.get()) || !f.Close()) {
      DeleteFileW(Utf16(temp).c_str());
      return false;
    }
  }
  if (ReplaceByName(temp, path, MOVEFILE_WRITE_THROUGH)) return true;
  DeleteFileW(Utf16(temp).c_str());
  // Held by another program that lets others write (an editor, a virus scanner): the
  // contents go in place rather than not at all.
  return WriteInPlace(path, data);
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  if (ReplaceByName(from, to, 0)) return true;
  if (GetFileAttributesW(Utf16(from).c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  // The file is held open (a log viewer): its contents are copied instead, and the file
  // stays as it was.
  const std::optional<std::string> contents = ReadWholeFile(from);
  return contents && WriteInPlace(to, *contents);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Utf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool EmptyFile(const std::string& path) {
  FileHandle f(OpenForWriting(path, CREATE_ALWAYS));
  return f.valid() && f.Close();
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
  FileHandle f(OpenForWriting(path, OPEN_ALWAYS, FILE_APPEND_DATA));
  return f.valid() && WriteAll(f.get(), bytes) && f.Close();
}

}  // namespace corvane
