#include "rt/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace corvane {
namespace {

// The tree is process-wide: every test works under a key of its own and removes it.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = "\\Software\\CorvaneTest\\" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(reg_.OpenKey(key_, true));
  }
  void TearDown() override { TRegistry().DeleteKey(key_); }

  std::string key_;
  TRegistry reg_;
};

TEST_F(RegistryTest, ValuesRoundTripThroughAnotherObject) {
  reg_.WriteString("Port", "COM11");
  reg_.WriteString("FlowControl", "");
  reg_.WriteInteger("Timeouts.ReadInterval", -1);
  reg_.WriteInteger("Buffer.InputSize", 1024);
  TRegistry other;
  ASSERT_TRUE(other.OpenKey(key_, false));
  EXPECT_EQ(other.ReadString("port"), "COM11");
  EXPECT_EQ(other.ReadString("FlowControl"), "");
  EXPECT_TRUE(other.ValueExists("FlowControl"));
  EXPECT_EQ(other.ReadInteger("TIMEOUTS.READINTERVAL"), -1);
  EXPECT_EQ(other.ReadInteger("Buffer.InputSize"), 1024);
  other.WriteInteger("Buffer.InputSize", 2048);
  EXPECT_EQ(reg_.ReadInteger("Buffer.InputSize"), 2048);
}

TEST_F(RegistryTest, ReadFailuresAsARegistryHasThem) {
  reg_.WriteString("BaudRate", "9600");
  reg_.WriteInteger("Buffer.InputSize", 1024);
  EXPECT_EQ(reg_.ReadString("Missing"), "");
  EXPECT_FALSE(reg_.ValueExists("Missing"));
  struct Case {
    const char* name;
    const char* message;
  };
  const Case integer_reads[] = {
      {"Buffer.OutputSize", "Invalid data type for 'Buffer.OutputSize'"},
      {"BaudRate", "Invalid data type for 'BaudRate'"},
  };
  for (const Case& c : integer_reads) {
    try {
      reg_.ReadInteger(c.name);
      ADD_FAILURE() << c.name << " read as an integer";
    } catch (const ERegistryException& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  EXPECT_THROW(reg_.ReadString("Buffer.InputSize"), ERegistryException);
  // Writing another type replaces the value and its type.
  reg_.WriteInteger("BaudRate", 9600);
  EXPECT_EQ(reg_.ReadInteger("BaudRate"), 9600);
}

TEST_F(RegistryTest, KeysOpenCreateAndDelete) {
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(key_ + "\\Missing", false));
  EXPECT_TRUE(reg.OpenKey(key_ + "\\Ports\\InPortA", true));
  EXPECT_EQ(reg.CurrentPath(), key_.substr(1) + "\\Ports\\InPortA");
  reg.WriteString("Port", "COM11");
  // Relative names go from the current key; parents came into being with the child.
  EXPECT_TRUE(reg.OpenKey("Sub", true));
  EXPECT_TRUE(reg.KeyExists(key_ + "\\PORTS"));
  EXPECT_TRUE(reg.OpenKey(key_ + "\\ports\\inporta", false));
  EXPECT_EQ(reg.ReadString("Port"), "COM11");

  TRegistry sibling;
  ASSERT_TRUE(sibling.OpenKey(key_ + "\\Ports!", true));  // sorts among the sub-keys
  EXPECT_TRUE(reg.DeleteKey(key_ + "\\Ports"));
  EXPECT_FALSE(reg.KeyExists(key_ + "\\Ports\\InPortA\\Sub"));
  EXPECT_FALSE(reg.KeyExists(key_ + "\\Ports"));
  EXPECT_TRUE(reg.KeyExists(key_ + "\\Ports!"));
  EXPECT_FALSE(reg.DeleteKey(key_ + "\\Ports"));
  // The deleted key reads as empty and refuses new values.
  EXPECT_EQ(reg.ReadString("Port"), "");
  EXPECT_THROW(reg.WriteString("Port", "COM1"), ERegistryException);
}

TEST_F(RegistryTest, ConcurrentWritersKeepEveryValue) {
  constexpr int kThreads = 4;
  constexpr int kValues = 200;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(key_ + "\\T" + std::to_string(t), true));
      for (int i = 0; i < kValues; ++i) reg.WriteInteger("V" + std::to_string(i), t * kValues + i);
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < kThreads; ++t) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key_ + "\\T" + std::to_string(t), false));
    for (int i = 0; i < kValues; ++i)
      ASSERT_EQ(reg.ReadInteger("V" + std::to_string(i)), t * kValues + i);
  }
}

}  // namespace
}  // namespace corvane
