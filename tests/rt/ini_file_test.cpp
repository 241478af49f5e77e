#include "rt/ini_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rt/ini_text.h"
#include "tests/log/temp_dir.h"

namespace corvane {
namespace {

constexpr char kConfig[] =
    "; Corvane configuration\r\n"
    "\r\n"
    "[Settings]\r\n"
    "PortA = com11\r\n"
    "  portb=COM13   \r\n"
    "LOGFILE=Corvane.LOG\r\n"
    "\r\n"
    "; the rig\r\n"
    "[InPortA]\r\n"
    "BaudRate=9600\r\n";

TEST(IniFileRead, NamesMatchWithoutRegardToCase) {
  TempDir dir;
  const std::string path = dir.File("CORVANE.INI");
  WriteFile(path, kConfig);
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("SETTINGS", "PORTA", "x"), "com11");
  EXPECT_EQ(ini.ReadString("settings", "PortB", "x"), "COM13");
  EXPECT_EQ(ini.ReadString("inporta", "baudrate", "x"), "9600");
  EXPECT_TRUE(ini.SectionExists("SETTINGS"));
  EXPECT_TRUE(ini.ValueExists("Settings", "logfile"));
  EXPECT_FALSE(ini.ValueExists("Settings", "TRACE"));
  EXPECT_FALSE(ini.SectionExists("Other"));
}

TEST(IniFileRead, MissingFileSectionOrKeyGivesTheDefault) {
  TempDir dir;
  TIniFile missing(dir.File("none.ini"));
  EXPECT_EQ(missing.ReadString("SETTINGS", "PORTA", "COM11"), "COM11");
  EXPECT_EQ(missing.ReadInteger("SETTINGS", "N", -5), -5);
  EXPECT_FALSE(missing.SectionExists("SETTINGS"));

  WriteFile(dir.File("a.ini"), kConfig);
  TIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("SETTINGS", "TRACE", "YES"), "YES");
  EXPECT_EQ(ini.ReadString("NoSuch", "PORTA", "d"), "d");
  // A key of another section is not found in this one.
  EXPECT_EQ(ini.ReadString("SETTINGS", "BaudRate", "d"), "d");
}

TEST(IniFileRead, IntegerForms) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"12", 12},
      {"-7", -7},
      {"+3", 3},
      {"0", 0},
      {"0x800", 2048},
      {"0X1f", 31},
      {"$1F", 31},
      {"x10", 16},
      {"X10", 16},
      {"-$10", -16},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$FFFFFFFF", -1},
      {"12abc", 99},
      {"", 99},
      {"abc", 99},
      {"0x", 99},
      {"$", 99},
      {"-", 99},
      {"1 2", 99},
      {"2147483648", 99},
      {"-2147483649", 99},
      {"99999999999999999999", 99},
      {"0x100000000", 99},
      {"1.5", 99},
  };
  TempDir dir;
  const std::string path = dir.File("n.ini");
  for (const Case& c : cases) {
    WriteFile(path, std::string("[S]\nN=") + c.text + "\n");
    EXPECT_EQ(TIniFile(path).ReadInteger("S", "N", 99), c.expected) << '"' << c.text << '"';
  }
}

TEST(IniFileRead, DuplicatesGarbageAndHugeLinesDoNotBreakReading) {
  TempDir dir;
  const std::string path = dir.File("odd.ini");
  std::string text = "[S]\nK=first\nK=second\n[s]\nK=third\nL=later\n";
  const char garbage[] = "\0\x01\xff[\n=\n==\n[unclosed\nno equals\n";
  text.append(garbage, sizeof garbage - 1);
  text += "[Big]\nV=" + std::string(8 << 20, 'v') + "\n";
  text += std::string(1 << 20, '[') + "\n";
  WriteFile(path, text);
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "K", "d"), "first");
  EXPECT_EQ(ini.ReadString("S", "L", "d"), "later");
  EXPECT_EQ(ini.ReadString("Big", "V", "d").size(), size_t(8 << 20));
  ini.WriteString("S", "K", "new");
  EXPECT_EQ(ini.ReadString("S", "K", "d"), "new");
  EXPECT_EQ(ini.ReadString("s", "L", "d"), "later");
}

TEST(IniFileWrite, ChangesOnlyTheLineOfTheKey) {
  struct Case {
    const char* name;
    std::string before;
    std::string section, ident, value;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"replaces value, keeps spacing, case and CR LF", kConfig, "SETTINGS", "PORTA", "COM5",
       std::string(kConfig).replace(std::string(kConfig).find("com11"), 5, "COM5")},
      {"replaces trailing blanks with the value", "[S]\n  k=old   \n#c\n", "s", "K", "new",
       "[S]\n  k=new\n#c\n"},
      {"adds a key after the last key of its section", "[A]\nx=1\n\n; about B\n[B]\ny=2\n", "a",
       "TRACE", "YES", "[A]\nx=1\nTRACE=YES\n\n; about B\n[B]\ny=2\n"},
      {"adds a key to an empty section", "[A]\n[B]\n", "B", "k", "v", "[A]\n[B]\nk=v\n"},
      {"adds a section at the end", "; only a comment", "SETTINGS", "PORTA", "COM11",
       "; only a comment\n[SETTINGS]\nPORTA=COM11\n"},
      {"keeps CR LF for new lines", "[A]\r\nx=1\r\n", "B", "k", "v",
       "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
      {"writes to the first of duplicate keys", "[S]\nK=1\nK=2\n", "S", "K", "3",
       "[S]\nK=3\nK=2\n"},
      {"keeps unknown lines", "[S]\ngarbage\n=x\n[bad\n", "S", "k", "v",
       "[S]\nk=v\ngarbage\n=x\n[bad\n"},
      {"empty value", "[S]\nk=v\n", "S", "k", "", "[S]\nk=\n"},
      {"byte order mark before the first section", "\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", "w",
       "\xEF\xBB\xBF[S]\r\nk=w\r\n"},
      {"a file cut inside its last CR LF keeps the other value clean", "[S]\r\nT=YES\r", "S",
       "P", "COM5", "[S]\r\nT=YES\r\nP=COM5\r\n"},
  };
  TempDir dir;
  const std::string path = dir.File("w.ini");
  for (const Case& c : cases) {
    WriteFile(path, c.before);
    TIniFile(path).WriteString(c.section, c.ident, c.value);
    EXPECT_EQ(ReadFile(path), c.after) << c.name;
    EXPECT_EQ(TIniFile(path).ReadString(c.section, c.ident, "?"), c.value) << c.name;
  }
  WriteFile(path, "[S]\r\nT=YES\r");
  EXPECT_EQ(TIniFile(path).ReadString("S", "T", "?"), "YES");
}

TEST(IniFileWrite, CreatesAMissingFileAndWritesIntegersInDecimal) {
  TempDir dir;
  const std::string path = dir.File("CORVANE.INI");
  TIniFile ini(path);
  ini.WriteString("SETTINGS", "PORTA", "COM11");
  ini.WriteInteger("InPortA", "Timeouts.ReadInterval", -1);
  ini.WriteInteger("InPortA", "Buffer.InputSize", 1024);
  EXPECT_EQ(
      ReadFile(path),
      "[SETTINGS]\nPORTA=COM11\n[InPortA]\nTimeouts.ReadInterval=-1\nBuffer.InputSize=1024\n");
  EXPECT_EQ(ini.ReadInteger("INPORTA", "TIMEOUTS.READINTERVAL", 0), -1);
}

TEST(IniFileWrite, FailureRaisesUnableToWrite) {
  TempDir dir;
  const std::string in_missing_dir = dir.File("no/such/dir/CORVANE.INI");
  try {
    TIniFile(in_missing_dir).WriteString("SETTINGS", "PORTA", "COM11");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + in_missing_dir);
  }
  // A directory in the file's place can neither be read back nor replaced.
  EXPECT_THROW(TIniFile(dir.File("")).WriteString("S", "K", "V"), EIniFileException);
}

TEST(IniFileWrite, ValuesThatWouldBreakTheFileAreRefused) {
  TempDir dir;
  const std::string path = dir.File("x.ini");
  WriteFile(path, "[S]\nK=1\n");
  TIniFile ini(path);
  EXPECT_THROW(ini.WriteString("S", "K", "COM1\n[Evil]\nX=1"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("S", "A=B", "1"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("S", "", "1"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("S]", "K", "1"), std::invalid_argument);
  EXPECT_EQ(ReadFile(path), "[S]\nK=1\n");
}

TEST(IniFileWrite, ExistingFileKeepsItsPermissions) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteFile(path, "[S]\nK=1\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  TIniFile(path).WriteString("S", "K", "2");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace corvane
