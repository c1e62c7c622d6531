#include "link/win32/LoaderFiles.h"

#include <windows.h>

#include <algorithm>

#include "common/win32/Scoped.h"
#include "common/win32/Utf16.h"

namespace velmaris {

namespace {

const wchar_t* const kKnownDllsKey =
    L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs";

// The side-by-side assemblies' processor name of this program's own build.
#ifdef _WIN64
const wchar_t* const kOwnArchitecture = L"amd64";
#else
const wchar_t* const kOwnArchitecture = L"x86";
#endif

// The walk names the file or key itself.
[[noreturn]] void FailToRead(DWORD error) { throw WindowsReadFailure(error); }

std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

// A folder that Windows names by filling a buffer: empty when it cannot.
template <class Query>
std::wstring FolderFrom(Query query) {
  std::wstring folder(MAX_PATH, L'\0');
  UINT length = query(&folder[0], static_cast<UINT>(folder.size()));
  if (length >= folder.size()) {
    folder.resize(length + 1);
    length = query(&folder[0], static_cast<UINT>(folder.size()));
  }
  folder.resize(length < folder.size() ? length : 0);
  return folder;
}

std::wstring SystemFolder() {
  return FolderFrom([](wchar_t* buffer, UINT size) { return GetSystemDirectoryW(buffer, size); });
}

std::wstring WindowsFolder() {
  return FolderFrom([](wchar_t* buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); });
}

std::wstring CurrentFolder() {
  return FolderFrom([](wchar_t* buffer, UINT size) {
    return static_cast<UINT>(GetCurrentDirectoryW(size, buffer));
  });
}

std::wstring EnvironmentText(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring text(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, &text[0], size);
  text.resize(length < size ? length : 0);
  return text;
}

std::wstring Joined(std::wstring folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder + name;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsAbsence(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

// The version numbers of a text such as "9.0.21022.8"; a part that is no number counts as 0.
std::vector<unsigned long> VersionNumbers(const std::wstring& text) {
  std::vector<unsigned long> numbers(1, 0);
  for (wchar_t c : text) {
    if (c == L'.') {
      numbers.push_back(0);
    } else if (c >= L'0' && c <= L'9' && numbers.back() < 100000) {
      numbers.back() = numbers.back() * 10 + static_cast<unsigned long>(c - L'0');
    }
  }
  return numbers;
}

// A folder of WinSxS is named <architecture>_<name>_<key token>_<version>_<language>_<hash>
// (Windows XP has "x-ww" for the language): the version is third from the end.
std::wstring FolderVersion(const std::wstring& folder) {
  size_t end = folder.size();
  for (int part = 0; part < 2; ++part) {
    end = folder.rfind(L'_', end - 1);
    if (end == std::wstring::npos || end == 0) return {};
  }
  const size_t start = folder.rfind(L'_', end - 1);
  if (start == std::wstring::npos) return {};
  return folder.substr(start + 1, end - start - 1);
}

// Whether an installed version serves a manifest's: the same one, or a later build of the same
// major and minor release, to which Windows' publisher policy redirects.
bool Serves(const std::wstring& installed, const std::wstring& wanted) {
  const std::vector<unsigned long> have = VersionNumbers(installed);
  const std::vector<unsigned long> want = VersionNumbers(wanted);
  if (have.size() < 2 || want.size() < 2 || have[0] != want[0] || have[1] != want[1]) return false;
  return !std::lexicographical_compare(have.begin(), have.end(), want.begin(), want.end());
}

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::wstring FolderOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::vector<std::wstring> LoaderFolders(const std::wstring& firstFolder) {
  const std::wstring windowsFolder = WindowsFolder();
  std::vector<std::wstring> folders = {firstFolder, SystemFolder(),
                                       Joined(windowsFolder, L"System"), windowsFolder,
                                       CurrentFolder()};
  const std::wstring path = EnvironmentText(L"PATH");
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring folder = path.substr(start, end - start);
    folder.erase(std::remove(folder.begin(), folder.end(), L'"'), folder.end());
    if (!folder.empty()) folders.push_back(folder);
    start = end + 1;
  }
  folders.erase(std::remove(folders.begin(), folders.end(), std::wstring()), folders.end());
  return folders;
}

std::optional<std::wstring> FindInFolders(const std::vector<std::wstring>& folders,
                                          const std::wstring& name) {
  for (const std::wstring& folder : folders) {
    std::wstring path = Joined(folder, name);
    if (IsFile(path)) return path;
  }
  return std::nullopt;
}

LoaderFiles::LoaderFiles(const std::string& componentPath)
    : componentFolder_(FolderOf(Widen(componentPath))), systemFolder_(SystemFolder()) {}

std::optional<std::vector<uint8_t>> LoaderFiles::Read(const std::string& path, size_t limit) {
  const std::wstring name = Widen(path);
  HANDLE opened = CreateFileW(name.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (IsAbsence(error)) return std::nullopt;
    FailToRead(error);
  }
  const UniqueHandle file(opened);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(opened, &size)) FailToRead(GetLastError());
  const uint64_t available = static_cast<uint64_t>(size.QuadPart);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(available, limit)));
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD read = 0;
    if (!ReadFile(opened, bytes.data() + done, wanted, &read, nullptr)) {
      FailToRead(GetLastError());
    }
    if (read == 0) break;  // the file got shorter meanwhile
    done += read;
  }
  bytes.resize(done);
  return bytes;
}

std::optional<FoundFile> LoaderFiles::Locate(const std::string& dllName) {
  const std::wstring name = Widen(dllName);
  if (IsKnownDll(name)) {
    const std::wstring path = Joined(systemFolder_, name);
    if (!IsFile(path)) return std::nullopt;
    return FoundFile{Narrow(path), true};
  }
  if (folders_.empty()) folders_ = LoaderFolders(componentFolder_);
  const std::optional<std::wstring> path = FindInFolders(folders_, name);
  if (!path) return std::nullopt;
  const bool inSystemFolder = Lower(FolderOf(*path)) == Lower(systemFolder_);
  return FoundFile{Narrow(*path), inSystemFolder};
}

std::optional<FoundFile> LoaderFiles::LocateInAssembly(const AssemblyIdentity& assembly,
                                                       const std::string& dllName) {
  std::wstring architecture = Widen(assembly.processorArchitecture);
  if (architecture.empty() || architecture == L"*") architecture = kOwnArchitecture;
  const std::wstring token =
      assembly.publicKeyToken.empty() ? L"*" : Widen(assembly.publicKeyToken);
  const std::wstring store = Joined(WindowsFolder(), L"WinSxS");
  const std::wstring pattern =
      Joined(store, architecture + L"_" + Widen(assembly.name) + L"_" + token + L"_*");
  WIN32_FIND_DATAW found = {};
  const FindHandle search(FindFirstFileW(pattern.c_str(), &found));
  if (search.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (IsAbsence(error) || error == ERROR_NO_MORE_FILES) return std::nullopt;
    FailToRead(error);
  }
  // The version the manifest names first; failing that, a later build that policy redirects to.
  const std::wstring wanted = Widen(assembly.version);
  std::optional<std::wstring> exact;
  std::optional<std::wstring> later;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    const std::wstring path = Joined(Joined(store, found.cFileName), Widen(dllName));
    const std::wstring version = FolderVersion(found.cFileName);
    if (!IsFile(path)) continue;
    if (version == wanted || wanted.empty()) {
      exact = path;
    } else if (!later && Serves(version, wanted)) {
      later = path;
    }
  } while (!exact && FindNextFileW(search.get(), &found));
  if (exact) return FoundFile{Narrow(*exact), true};
  if (later) return FoundFile{Narrow(*later), true};
  return std::nullopt;
}

bool LoaderFiles::IsKnownDll(const std::wstring& name) {
  if (!knownDlls_) {
    std::vector<std::wstring> names;
    HKEY opened = nullptr;
    const LONG result =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKnownDllsKey, 0, KEY_QUERY_VALUE, &opened);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
      FailToRead(static_cast<DWORD>(result));
    }
    const UniqueKey key(opened);
    for (DWORD index = 0; opened != nullptr; ++index) {
      wchar_t valueName[256];
      DWORD nameLength = 256;
      wchar_t data[MAX_PATH] = {};
      DWORD dataBytes = sizeof data - sizeof(wchar_t);
      DWORD type = 0;
      const LONG status = RegEnumValueW(opened, index, valueName, &nameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataBytes);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status == ERROR_MORE_DATA) continue;  // no DLL name is that long
      if (status != ERROR_SUCCESS) {
        FailToRead(static_cast<DWORD>(status));
      }
      if (type == REG_SZ) names.push_back(Lower(data));
    }
    knownDlls_ = std::move(names);
  }
  const std::wstring lower = Lower(name);
  return std::find(knownDlls_->begin(), knownDlls_->end(), lower) != knownDlls_->end();
}

}  // namespace velmaris
