#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "rt/current_dir.h"
#include "rt/find_file.h"
#include "tests/log/temp_dir.h"

namespace corvane {
namespace {

TEST(FindFileIgnoringCase, PrefersTheExactNameThenAnyCaseThenTheInput) {
  TempDir dir;
  WriteFile(dir.File("Corvane.INI"), "");
  WriteFile(dir.File("exact.ini"), "");
  WriteFile(dir.File("EXACT.INI"), "");
  EXPECT_EQ(FindFileIgnoringCase(dir.File("CORVANE.INI")), dir.File("Corvane.INI"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("corvane.ini")), dir.File("Corvane.INI"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("exact.ini")), dir.File("exact.ini"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("Exact.Ini")), dir.File("EXACT.INI"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("MISSING.INI")), dir.File("MISSING.INI"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("nodir/CORVANE.INI")), dir.File("nodir/CORVANE.INI"));
}

TEST(FindFileIgnoringCase, ResolvesDirectoriesNamedInAnyCase) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("conf").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.File("conf/Rig").c_str(), 0755), 0);
  WriteFile(dir.File("conf/Rig/ft2000.ini"), "");
  EXPECT_EQ(FindFileIgnoringCase(dir.File("CONF/RIG/FT2000.INI")), dir.File("conf/Rig/ft2000.ini"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("CONF//rig/FT2000.INI")),
            dir.File("conf/Rig/ft2000.ini"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("CONF/NEW.INI")), dir.File("CONF/NEW.INI"));
  // Relative names go from the working directory.
  const std::string saved = CurrentDirWithSlash();
  ASSERT_EQ(chdir(dir.File("").c_str()), 0);
  const std::string relative = FindFileIgnoringCase("CONF/RIG/FT2000.INI");
  ASSERT_EQ(chdir(saved.c_str()), 0);
  EXPECT_EQ(relative, "conf/Rig/ft2000.ini");
}

TEST(CurrentDirWithSlash, EndsWithASlashAndNamesTheWorkingDirectory) {
  TempDir dir;
  const std::string saved = CurrentDirWithSlash();
  ASSERT_FALSE(saved.empty());
  ASSERT_EQ(chdir(dir.File("").c_str()), 0);
  const std::string here = CurrentDirWithSlash();
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(CurrentDirWithSlash(), "/");
  ASSERT_EQ(chdir(saved.c_str()), 0);
  ASSERT_FALSE(here.empty());
  EXPECT_EQ(here.back(), '/');
  EXPECT_EQ(here.find("corvane-"), here.rfind('/', here.size() - 2) + 1);
}

TEST(CurrentDirWithSlash, RemovedDirectoryGivesEmptyText) {
  const std::string saved = CurrentDirWithSlash();
  std::string gone;
  {
    TempDir dir;
    gone = dir.File("");
    ASSERT_EQ(chdir(gone.c_str()), 0);
  }
  const std::string result = CurrentDirWithSlash();
  ASSERT_EQ(chdir(saved.c_str()), 0);
  EXPECT_EQ(result, "");
}

}  // namespace
}  // namespace corvane
