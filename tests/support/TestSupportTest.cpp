// The helpers every Windows test relies on, where a checkout or a user name with accents would
// otherwise leave a test without its program, scenario or log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <stdexcept>

#include "CallLog.h"
#include "Environment.h"
#include "WinePath.h"

namespace velmaris::test {
namespace {

using ::testing::ElementsAre;

const wchar_t* const kVariable = L"VELMARIS_SUPPORT_TEST";

TEST(TestSupport, VariablesAndPathsKeepTheirAccents) {
  const std::wstring folder = L"/home/josé/compilación/" + std::wstring(400, L'x');
  ASSERT_TRUE(SetEnvironmentVariableW(kVariable, folder.c_str()));
  EXPECT_EQ(RequiredEnvironment("VELMARIS_SUPPORT_TEST"),
            "/home/jos\xC3\xA9/compilaci\xC3\xB3n/" + std::string(400, 'x'));
  EXPECT_EQ(PathFromEnvironment(kVariable),
            L"Z:\\home\\josé\\compilación\\" + std::wstring(400, L'x'));
  EXPECT_EQ(FromUnixPath(std::wstring(L"C:\\users\\josé\\a.txt")), L"C:\\users\\josé\\a.txt");

  SetEnvironmentVariableW(kVariable, nullptr);
  EXPECT_EQ(PathFromEnvironment(kVariable), L"");
  EXPECT_THROW(RequiredEnvironment("VELMARIS_SUPPORT_TEST"), std::runtime_error);
}

TEST(TestSupport, TheCallLogIsReadUnderAnAccentedName) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring path = std::wstring(folder) + L"registro-ñ-é.log";
  EXPECT_THAT(ReadCallLog(path), ElementsAre()) << "no log yet";

  const char* const text =
      "Create\n"
      "put LinkOpen vt=VT_BOOL value=False [dispid=0x8001000D flags=PROPERTYPUT]\n"
      "pumping messages during get DeviceInfo\n"
      "get DeviceInfo -> VT_EMPTY [dispid=13 flags=PROPERTYGET]\n";
  {
    std::ofstream file(path.c_str(), std::ios::binary);
    ASSERT_TRUE(file << text);
  }

  const std::vector<std::string> log = ReadCallLog(path);
  DeleteFileW(path.c_str());
  EXPECT_THAT(WithoutDetails(Operations(log)),
              ElementsAre("put LinkOpen vt=VT_BOOL value=False", "get DeviceInfo -> VT_EMPTY"));
  EXPECT_EQ(log.size(), 4u);
  EXPECT_EQ(CountEntries(log, "get DeviceInfo"), 1u) << "only the lines that begin with it";
}

}  // namespace
}  // namespace velmaris::test
