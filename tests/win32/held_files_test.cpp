// Files on Windows: names outside the system code page, and files that another program
// holds open, as a log viewer or a virus scanner does: nothing is silently skipped and the
// previous trace is never lost.
#include <gtest/gtest.h>
#include <windows.h>

#include "rt/file_io.h"
#include "tests/log/temp_dir.h"

namespace corvane {
namespace {

// Held open the way a viewer holds it: others may read and write, not rename or delete.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path)
      : h_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldOpen() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  bool held() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

TEST(HeldFiles, AHeldFileIsStillReplacedOrCopiedAndNothingIsLost) {
  TempDir dir;
  const std::string trace = dir.File("Corvane.Log");
  const std::string ini = dir.File("Corvane.INI");
  ASSERT_TRUE(WriteWholeFile(trace, "previous run\r\n"));
  ASSERT_TRUE(WriteWholeFile(trace + ".1", "older run\r\n"));
  ASSERT_TRUE(WriteWholeFile(ini, "[SETTINGS]\r\nPORTA=COM1\r\n"));
  {
    HeldOpen viewer(trace), editor(ini);
    ASSERT_TRUE(viewer.held() && editor.held());
    EXPECT_TRUE(MoveFileOver(trace, trace + ".1"));
    EXPECT_TRUE(WriteWholeFile(ini, "[SETTINGS]\r\nPORTA=COM2\r\n"));
  }
  EXPECT_EQ(ReadWholeFile(trace + ".1"), "previous run\r\n") << "the previous trace is kept";
  EXPECT_EQ(ReadWholeFile(ini), "[SETTINGS]\r\nPORTA=COM2\r\n");
  EXPECT_EQ(GetFileAttributesA((ini + ".new").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A file named with letters outside the system code page is written and read under its
// own name.
TEST(Utf8Names, AFileNamedInUtf8IsTheFileOfThatName) {
  TempDir dir;
  const std::string name = dir.File("St\xc3\xb6rung \xd0\x96");  // "Störung Ж"
  ASSERT_TRUE(WriteWholeFile(name, "[SETTINGS]\r\n"));
  EXPECT_EQ(ReadWholeFile(name), "[SETTINGS]\r\n");
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide, MAX_PATH);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide)) << "stored under its own name";
}

}  // namespace
}  // namespace corvane
