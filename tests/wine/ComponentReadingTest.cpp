// The component as Windows sees it, read at the edge: the registration as COM resolves it, the
// file's version record, and DLLs found where the loader looks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <string>

#include "Utf8.h"
#include "WinePath.h"
#include "link/win32/ComponentReading.h"
#include "link/win32/LoaderFiles.h"

namespace velmaris {
namespace {

using test::Utf8;

const wchar_t* const kClasses = L"Software\\Classes\\";

std::wstring SystemFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\" + name;
}

// A class of the test's own in the machine's classes, under names no other test uses, removed
// when the test ends.
class TestClass {
 public:
  TestClass(const wchar_t* progId, const wchar_t* classId) : progId_(progId), classId_(classId) {
    Set(progId_ + L"\\CLSID", REG_SZ, classId_);
  }
  ~TestClass() {
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, (kClasses + progId_).c_str());
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kClasses) + L"CLSID\\" + classId_).c_str());
  }
  TestClass(const TestClass&) = delete;
  TestClass& operator=(const TestClass&) = delete;

  void Server(DWORD type, const std::wstring& value, const wchar_t* classId = nullptr) {
    Set(L"CLSID\\" + std::wstring(classId ? classId : classId_.c_str()) + L"\\InprocServer32", type,
        value);
  }
  void TreatAs(const std::wstring& other) {
    Set(L"CLSID\\" + classId_ + L"\\TreatAs", REG_SZ, other);
  }

 private:
  static void Set(const std::wstring& subkey, DWORD type, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kClasses + subkey).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }

  std::wstring progId_;
  std::wstring classId_;
};

TEST(ComponentReading, AServerIsExpandedUnquotedFollowedThroughTreatAsAndFoundByName) {
  const wchar_t* const treated = L"{7E1C2A55-0D3B-4C1E-9A21-5B7F3D2E6A01}";
  struct Case {
    DWORD type;
    const wchar_t* value;
  };
  for (const Case& row : {Case{REG_EXPAND_SZ, L"\"%SystemRoot%\\system32\\ole32.dll\""},
                          Case{REG_SZ, L"ole32"}, Case{REG_SZ, L" ole32.dll "}}) {
    SCOPED_TRACE(Utf8(row.value));
    TestClass component(L"VelmarisTest.Expanded", L"{7E1C2A55-0D3B-4C1E-9A21-5B7F3D2E6A00}");
    TestClass replacement(L"VelmarisTest.Treated", treated);
    component.TreatAs(treated);
    component.Server(REG_SZ, L"C:\\no\\es\\este.dll");
    replacement.Server(row.type, row.value);

    const ComponentRegistration registration = ReadComponentRegistration("VelmarisTest.Expanded");
    EXPECT_EQ(registration.treatAs, Utf8(treated));
    EXPECT_EQ(registration.serverValue, Utf8(row.value));
    EXPECT_EQ(registration.serverPath, Utf8(SystemFile(L"ole32.dll")));
    EXPECT_TRUE(registration.unread.empty());
  }
}

TEST(ComponentReading, AProgIdThatIsNotRegisteredIsNoFailedReading) {
  const ComponentRegistration registration = ReadComponentRegistration("VelmarisTest.Absent");
  EXPECT_EQ(registration.progIdFrom, ClassesRoot::None);
  EXPECT_EQ(registration.classId, "");
  EXPECT_EQ(registration.serverPath, "");
  EXPECT_FALSE(registration.otherViewHasProgId);
  EXPECT_TRUE(registration.unread.empty());
  const ComponentFile file = ReadComponentFile("C:\\no\\existe\\QelCtrl.ocx");
  EXPECT_FALSE(file.exists);
  EXPECT_TRUE(file.unread.empty());
}

TEST(LoaderFiles, FindDllsWhereTheLoaderLooksForAServerLoadedByItsPath) {
  const std::string simulator = Utf8(test::PathFromEnvironment(L"QELSIM_DLL"));
  LoaderFiles besideTheSimulator(simulator);
  // The component's own folder comes first.
  const std::optional<FoundFile> own = besideTheSimulator.Locate("qelsim.dll");
  ASSERT_TRUE(own.has_value());
  EXPECT_EQ(own->path, simulator);
  EXPECT_FALSE(own->inSystemFolder);
  // A known DLL comes from the system folder.
  const std::optional<FoundFile> known = besideTheSimulator.Locate("KERNEL32.dll");
  ASSERT_TRUE(known.has_value());
  EXPECT_EQ(known->path, Utf8(SystemFile(L"KERNEL32.dll")));
  EXPECT_TRUE(known->inSystemFolder);
  EXPECT_FALSE(besideTheSimulator.Locate("velmaris_absent.dll").has_value());

  // This program's own folder, where the simulator also lies, is no folder of the loader's for a
  // server loaded by its path elsewhere.
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  LoaderFiles elsewhere(Utf8(windows) + "\\QelCtrl.ocx");
  EXPECT_FALSE(elsewhere.Locate("qelsim.dll").has_value());
}

TEST(LoaderFiles, ReadFilesBoundedAndFindSideBySideAssemblies) {
  LoaderFiles files(Utf8(test::PathFromEnvironment(L"QELSIM_DLL")));
  const std::optional<std::vector<uint8_t>> head =
      files.Read(Utf8(test::PathFromEnvironment(L"QELSIM_DLL")), 64);
  ASSERT_TRUE(head.has_value());
  ASSERT_EQ(head->size(), 64u);
  EXPECT_EQ((*head)[0], 'M');
  EXPECT_EQ((*head)[1], 'Z');
  EXPECT_FALSE(files.Read("C:\\no\\existe\\QelCtrl.ocx", 64).has_value());

  // Wine installs the common controls 6.0.2600.2982, a later build of what manifests ask for.
  AssemblyIdentity controls{"Microsoft.Windows.Common-Controls", "6.0.0.0", "*",
                            "6595b64144ccf1df"};
  const std::optional<FoundFile> found = files.LocateInAssembly(controls, "comctl32.dll");
  ASSERT_TRUE(found.has_value());
  EXPECT_THAT(found->path, ::testing::HasSubstr("6.0.2600.2982"));
  EXPECT_TRUE(found->inSystemFolder);
  controls.version = "5.0.0.0";
  EXPECT_FALSE(files.LocateInAssembly(controls, "comctl32.dll").has_value());
  controls = {"Microsoft.VC90.CRT", "9.0.21022.8", "x86", "1fc8b3b9a1e18e3b"};
  EXPECT_FALSE(files.LocateInAssembly(controls, "msvcr90.dll").has_value());
}

}  // namespace
}  // namespace velmaris
