// The Windows kernel calls as the Linux platform answers them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "vrel/platform/platform.h"

namespace vrel {
namespace {

const platform::Api& os = platform::Real();

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old;
    hadOld_ = old != nullptr;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (hadOld_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_, old_;
  bool hadOld_ = false;
};

TEST(KernelStandInTest, EnvironmentVariablesAnswerAsGetEnvironmentVariableA) {
  ScopedEnv set("VREL_TEST_VALUE", "C:\\Data");
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(os.GetEnvironmentVariableA("VREL_TEST_VALUE", buffer, sizeof buffer), 7u);
  EXPECT_STREQ(buffer, "C:\\Data");

  // Too small (no room for the NUL), or no buffer: the size needed, NUL
  // included, and nothing copied.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(os.GetEnvironmentVariableA("VREL_TEST_VALUE", buffer, 7), 8u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(os.GetEnvironmentVariableA("VREL_TEST_VALUE", nullptr, 0), 8u);

  ScopedEnv unset("VREL_TEST_VALUE", nullptr);
  EXPECT_EQ(os.GetEnvironmentVariableA("VREL_TEST_VALUE", buffer, sizeof buffer), 0u);
  EXPECT_EQ(os.GetLastError(), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(os.GetEnvironmentVariableA(nullptr, buffer, sizeof buffer), 0u);
  EXPECT_EQ(os.GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(KernelStandInTest, SystemRootIsTheWindowsDirectoryWhenTheHostHasNone) {
  ScopedEnv unset("SYSTEMROOT", nullptr);
  char buffer[64];
  EXPECT_EQ(os.GetEnvironmentVariableA("SystemRoot", buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS");

  ScopedEnv set("SYSTEMROOT", "D:\\WinNT");
  EXPECT_EQ(os.GetEnvironmentVariableA("SYSTEMROOT", buffer, sizeof buffer), 8u);
  EXPECT_STREQ(buffer, "D:\\WinNT");
}

TEST(KernelStandInTest, OnlyDriveCAnswersVolumeQueries) {
  DWORD serial = 0, maxComponent = 0, flags = 7;
  char name[8], fileSystem[8];
  std::memset(name, 'x', sizeof name);
  std::memset(fileSystem, 'x', sizeof fileSystem);
  ASSERT_TRUE(os.GetVolumeInformationA("C:\\", name, sizeof name, &serial, &maxComponent, &flags,
                                       fileSystem, sizeof fileSystem));
  EXPECT_GT(maxComponent, 0u);
  EXPECT_EQ(flags, 0u);
  EXPECT_STREQ(name, "");
  EXPECT_STREQ(fileSystem, "");

  // The same serial with every optional output left out; "c:\" is drive C.
  DWORD again = 0;
  ASSERT_TRUE(os.GetVolumeInformationA("c:\\", nullptr, 0, &again, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(again, serial);
  EXPECT_TRUE(os.GetVolumeInformationA("C:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));

  for (const char* root : {"D:\\", "C:", "C:\\WINDOWS", "C:/", "", "\\\\server\\share\\"}) {
    EXPECT_FALSE(os.GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        << root;
    EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND) << root;
  }
  EXPECT_FALSE(os.GetVolumeInformationA(nullptr, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
}

TEST(KernelStandInTest, VersionIsTenAndSleepWaits) {
  EXPECT_EQ(os.GetVersion() & 0xFFFF, 10u);  // major 10, minor 0
  os.Sleep(0);
  os.Sleep(5);
}

}  // namespace
}  // namespace vrel
