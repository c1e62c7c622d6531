#include "link/win32/ComponentReading.h"

#include <windows.h>
// windows.h first: the others rely on its types.
#include <objbase.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "common/win32/Scoped.h"
#include "common/win32/Utf16.h"
#include "link/win32/LoaderFiles.h"

namespace velmaris {

namespace {

// The registry view of the other width: the 64-bit one for this 32-bit program on 64-bit Windows,
// the 32-bit one for the 64-bit test build.
#ifdef _WIN64
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
const char* const kOtherViewName = " (registro de 32 bits)";
#else
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
const char* const kOtherViewName = " (registro de 64 bits)";
#endif
constexpr REGSAM kOwnView = 0;

// No registration of a class needs a longer text: anything longer is damage.
constexpr DWORD kLongestValueBytes = 32767 * sizeof(wchar_t);

struct ClassesKey {
  HKEY root;
  ClassesRoot from;
  const wchar_t* name;
};
const ClassesKey kUserClasses = {HKEY_CURRENT_USER, ClassesRoot::User,
                                 L"HKCU\\Software\\Classes\\"};
const ClassesKey kMachineClasses = {HKEY_LOCAL_MACHINE, ClassesRoot::Machine,
                                    L"HKLM\\Software\\Classes\\"};

// A key's default value, and which classes it was found in.
struct ClassesValue {
  ClassesRoot from = ClassesRoot::None;
  std::wstring text{};
  DWORD type = REG_NONE;
};

bool IsAbsence(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Reads keys of the classes in COM's order for this process, listing what fails.
class ClassesReader {
 public:
  ClassesReader(bool elevated, std::vector<ComponentReadFailure>& unread)
      : order_{elevated ? kMachineClasses : kUserClasses,
               elevated ? kUserClasses : kMachineClasses},
        unread_(unread) {}

  // The default value of `subkey`, from the first classes that have one, in `view`. A key or
  // value that is not there is no failure.
  ClassesValue Read(const std::wstring& subkey, REGSAM view) {
    for (const ClassesKey& classes : order_) {
      if (std::optional<ClassesValue> value = ReadIn(classes, subkey, view)) return *value;
    }
    return {};
  }

 private:
  std::optional<ClassesValue> ReadIn(const ClassesKey& classes, const std::wstring& subkey,
                                     REGSAM view) {
    const std::wstring path = L"Software\\Classes\\" + subkey;
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExW(classes.root, path.c_str(), 0, KEY_QUERY_VALUE | view, &opened);
    if (IsAbsence(static_cast<DWORD>(result))) return std::nullopt;
    const UniqueKey key(opened);
    ClassesValue value{classes.from};
    DWORD bytes = 0;
    if (result == ERROR_SUCCESS) {
      result = RegQueryValueExW(opened, nullptr, nullptr, &value.type, nullptr, &bytes);
      if (result == ERROR_FILE_NOT_FOUND) return std::nullopt;
    }
    if (result == ERROR_SUCCESS &&
        ((value.type != REG_SZ && value.type != REG_EXPAND_SZ) || bytes > kLongestValueBytes)) {
      result = ERROR_INVALID_DATA;
    }
    if (result == ERROR_SUCCESS) {
      std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
      bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
      result = RegQueryValueExW(opened, nullptr, nullptr, &value.type,
                                reinterpret_cast<BYTE*>(buffer.data()), &bytes);
      // Stored text may lack its terminating null, or end in several.
      const size_t stored = std::min<size_t>(bytes / sizeof(wchar_t), buffer.size());
      value.text.assign(buffer.data(), std::find(buffer.data(), buffer.data() + stored, L'\0'));
    }
    if (result != ERROR_SUCCESS) {
      unread_.push_back({Narrow(classes.name + subkey) + (view == kOwnView ? "" : kOtherViewName),
                         static_cast<uint32_t>(result)});
      return std::nullopt;
    }
    return value;
  }

  ClassesKey order_[2];
  std::vector<ComponentReadFailure>& unread_;
};

// A process with administrator rights on Vista and later. Windows XP knows no elevation, and
// refuses the question.
bool IsElevated(std::vector<ComponentReadFailure>& unread) {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
    unread.push_back({"el testigo de acceso del proceso", GetLastError()});
    return false;
  }
  const UniqueHandle token(opened);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (GetTokenInformation(opened, TokenElevation, &elevation, sizeof elevation, &size)) {
    return elevation.TokenIsElevated != 0;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_INVALID_PARAMETER) unread.push_back({"la elevación del proceso", error});
  return false;
}

// A 32-bit process on 64-bit Windows. Windows XP before its second service pack lacks
// IsWow64Process.
bool IsWow64() {
  using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto isWow64 = reinterpret_cast<IsWow64Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

// Whether the registry has a view of the other width: on 64-bit Windows only, where a 64-bit
// process always runs.
bool HasOtherView(bool wow64) { return sizeof(void*) == 8 || wow64; }

std::wstring ClassText(const CLSID& clsid) {
  wchar_t text[40] = {};
  return StringFromGUID2(clsid, text, 40) > 0 ? text : L"";
}

std::wstring Trimmed(const std::wstring& text) {
  const size_t start = text.find_first_not_of(L" \t");
  if (start == std::wstring::npos) return {};
  return text.substr(start, text.find_last_not_of(L" \t") - start + 1);
}

// The file COM loads for the registered value: expanded where it is a REG_EXPAND_SZ, without its
// quotes, and a name alone looked for as the loader looks for it.
std::wstring ServerPath(const ClassesValue& server, std::vector<ComponentReadFailure>& unread,
                        const std::string& what) {
  std::wstring path = server.text;
  if (server.type == REG_EXPAND_SZ) {
    const DWORD size = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    std::wstring expanded(size, L'\0');
    const DWORD length =
        size == 0 ? 0 : ExpandEnvironmentStringsW(path.c_str(), &expanded[0], size);
    if (length == 0 || length > size) {
      unread.push_back({what, GetLastError()});
    } else {
      path = expanded.substr(0, length - 1);
    }
  }
  path.erase(std::remove(path.begin(), path.end(), L'"'), path.end());
  path = Trimmed(path);
  if (path.empty() || path.find_first_of(L"\\/:") != std::wstring::npos) return path;
  if (path.find(L'.') == std::wstring::npos) path += L".dll";
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::wstring programFolder =
      length > 0 && length < MAX_PATH ? FolderOf(program) : std::wstring();
  return FindInFolders(LoaderFolders(programFolder), path).value_or(path);
}

// Where the class's own server is, or the class it is treated as: a TreatAs names the class COM
// creates instead.
ClassesValue ServerOf(ClassesReader& reader, const std::wstring& classId, REGSAM view,
                      std::wstring* treatAs) {
  const ClassesValue treated = reader.Read(L"CLSID\\" + classId + L"\\TreatAs", view);
  const std::wstring created = treated.text.empty() ? classId : Trimmed(treated.text);
  if (treatAs != nullptr) *treatAs = treated.text;
  return reader.Read(L"CLSID\\" + created + L"\\InprocServer32", view);
}

// A file without a version record, or no module at all (its header then tells what it is).
bool IsWithoutVersionRecord(DWORD error) {
  return error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND ||
         error == ERROR_RESOURCE_NAME_NOT_FOUND || error == ERROR_RESOURCE_LANG_NOT_FOUND ||
         error == ERROR_BAD_EXE_FORMAT || error == ERROR_BAD_FORMAT;
}

}  // namespace

ComponentRegistration ReadComponentRegistration(const std::string& progId) {
  ComponentRegistration registration{progId};
  registration.elevated = IsElevated(registration.unread);
  registration.wow64 = IsWow64();
  ClassesReader reader(registration.elevated, registration.unread);

  const std::wstring name = Widen(progId);
  registration.progIdFrom = reader.Read(name + L"\\CLSID", kOwnView).from;
  CLSID clsid = {};
  const HRESULT found = CLSIDFromProgID(name.c_str(), &clsid);
  std::wstring classId;
  if (SUCCEEDED(found)) {
    classId = ClassText(clsid);
  } else if (found != CO_E_CLASSSTRING && found != REGDB_E_CLASSNOTREG &&
             found != REGDB_E_READREGDB) {
    registration.unread.push_back({"la clase de " + progId, static_cast<uint32_t>(found)});
  }
  registration.classId = Narrow(classId);

  if (!classId.empty()) {
    std::wstring treatAs;
    const ClassesValue server = ServerOf(reader, classId, kOwnView, &treatAs);
    registration.treatAs = Narrow(Trimmed(treatAs));
    registration.serverFrom = server.from;
    registration.serverValue = Narrow(server.text);
    registration.serverPath = Narrow(
        ServerPath(server, registration.unread, "el archivo de la clase " + Narrow(classId)));
  }

  registration.userClassesOnly =
      registration.elevated && (registration.progIdFrom == ClassesRoot::User ||
                                registration.serverFrom == ClassesRoot::User);
  if (!HasOtherView(registration.wow64)) return registration;
  std::wstring otherClass = classId;
  if (registration.progIdFrom == ClassesRoot::None) {
    const ClassesValue other = reader.Read(name + L"\\CLSID", kOtherView);
    registration.otherViewHasProgId = other.from != ClassesRoot::None;
    if (registration.otherViewHasProgId) otherClass = Trimmed(other.text);
  }
  if (registration.serverFrom == ClassesRoot::None && !otherClass.empty()) {
    registration.otherViewHasServer =
        ServerOf(reader, otherClass, kOtherView, nullptr).from != ClassesRoot::None;
  }
  return registration;
}

ComponentFile ReadComponentFile(const std::string& path) {
  ComponentFile file;
  if (path.empty()) return file;
  const std::wstring name = Widen(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (!IsAbsence(error) && error != ERROR_INVALID_NAME) file.unread.push_back({path, error});
    return file;
  }
  file.exists = (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  if (!file.exists) return file;

  const std::string what = "el registro de versión de " + path;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
  if (size == 0) {
    const DWORD error = GetLastError();
    if (!IsWithoutVersionRecord(error)) file.unread.push_back({what, error});
    return file;
  }
  std::vector<BYTE> record(size);
  if (!GetFileVersionInfoW(name.c_str(), 0, size, record.data())) {
    file.unread.push_back({what, GetLastError()});
    return file;
  }
  void* fixed = nullptr;
  UINT length = 0;
  const bool hasFixedPart = VerQueryValueW(record.data(), L"\\", &fixed, &length) &&
                            fixed != nullptr && length >= sizeof(VS_FIXEDFILEINFO);
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  if (!hasFixedPart || info->dwSignature != VS_FFI_SIGNATURE) {
    file.unread.push_back({what, ERROR_INVALID_DATA});
    return file;
  }
  file.version =
      std::array<uint16_t, 4>{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                              HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
  return file;
}

}  // namespace velmaris
