// The program's end while the port check still reads what Windows sees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AppUnderTest.h"

namespace velmaris::e2e {
namespace {

// Devices in the prefix's device tree while this object lives, as on a PC that remembers many:
// every one is listed when the scan ends, which makes the reading slow. Their setup class is one
// the report does not look at, so no report line changes.
class RememberedDevices {
 public:
  explicit RememberedDevices(int count) {
    for (const std::wstring& parent : {std::wstring(kRoot), std::wstring(kRoot) + L"\\DEV"}) {
      if (HKEY key = Create(parent)) RegCloseKey(key);
    }
    for (int n = 0; n < count; ++n) {
      // An instance id has three parts: enumerator, device and instance.
      const std::wstring device = std::wstring(kRoot) + L"\\DEV\\" + std::to_wstring(n);
      HKEY key = Create(device);
      if (key == nullptr) {
        ADD_FAILURE() << "cannot add " << Utf8(device);
        return;
      }
      RegSetValueExW(key, L"ClassGUID", 0, REG_SZ, reinterpret_cast<const BYTE*>(kKeyboardClass),
                     sizeof kKeyboardClass);
      RegCloseKey(key);
    }
  }
  ~RememberedDevices() {
    for (auto key = created_.rbegin(); key != created_.rend(); ++key) {
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, key->c_str());
    }
  }
  RememberedDevices(const RememberedDevices&) = delete;
  RememberedDevices& operator=(const RememberedDevices&) = delete;

 private:
  static constexpr const wchar_t* kRoot = L"System\\CurrentControlSet\\Enum\\VELMARIS_TEST";
  static constexpr wchar_t kKeyboardClass[] = L"{4D36E96B-E325-11CE-BFC1-08002BE10318}";

  // The key, open for setting values; nullptr when it cannot be made.
  HKEY Create(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return nullptr;
    }
    created_.push_back(path);
    return key;
  }

  std::vector<std::wstring> created_;
};

// Listing 20000 devices takes Wine longer than the reading's 10 s, so the reading's worker is still
// at work when the program ends; a close takes Wine some 2 s to end the process in any case.
TEST(End, AClosedWindowEndsTheProgramAtOnceWhileWindowsIsStillRead) {
  const RememberedDevices devices(20000);
  AppUnderTest app({"no-unit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntil([&] { return Text(app.StatusBox()) == L"NO DETECTADO"; }, 40000))
      << Utf8(Text(app.StatusBox()));
  const std::wstring report = Text(app.ReportPane());
  const DWORD closing = GetTickCount();
  app.CloseByCloseBox();
  ASSERT_TRUE(app.WaitForExit(20000));
  const DWORD tookMs = GetTickCount() - closing;

  EXPECT_EQ(report.find(L"LO QUE WINDOWS VE EN ESTE EQUIPO"), std::wstring::npos)
      << "closed while the check was still under way";
  EXPECT_LT(tookMs, 5000u) << "nothing waits for the reading";
  EXPECT_EQ(app.ExitCode(), 0u);
}

}  // namespace
}  // namespace velmaris::e2e
