#include "Scenario.h"

#include <oleauto.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "WinePath.h"
#include "common/win32/Utf16.h"

namespace qelsim {

using velmaris::Narrow;
using velmaris::Widen;
using velmaris::test::PathFromEnvironment;

namespace {

// The scenario used when QELSIM_SCENARIO is not set: a current unit on COM3, nothing else.
const char kDefaultScenario[] = R"(
default_port = 1
open_ports = 3
unit_port = 3
info_bounds = 0..3, 0..1
info(0,0) = BSTR Modelo
info(1,0) = BSTR Firmware
info(2,0) = BSTR Tipo
info(3,0) = BSTR Serie
info(0,1) = I2 19
info(1,1) = BSTR 3.10
info(2,1) = I2 1
info(3,1) = I4 300
prescaler0 = UI1 1
prescaler1 = UI1 1
)";

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    item = Trim(item);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

bool ParseInteger(const std::string& text, long long& value) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(trimmed.c_str(), &end, 0);
  return errno == 0 && end != nullptr && *end == '\0';
}

bool ParseBoolean(const std::string& text, bool& value) {
  const std::string word = Trim(text);
  if (word == "yes" || word == "true" || word == "1") {
    value = true;
  } else if (word == "no" || word == "false" || word == "0") {
    value = false;
  } else {
    return false;
  }
  return true;
}

const std::map<std::string, VARTYPE>& TypeNames() {
  static const std::map<std::string, VARTYPE> names = {
      {"EMPTY", VT_EMPTY},     {"NULL", VT_NULL},   {"BOOL", VT_BOOL},
      {"I1", VT_I1},           {"UI1", VT_UI1},     {"I2", VT_I2},
      {"UI2", VT_UI2},         {"I4", VT_I4},       {"UI4", VT_UI4},
      {"INT", VT_INT},         {"UINT", VT_UINT},   {"I8", VT_I8},
      {"UI8", VT_UI8},         {"R4", VT_R4},       {"R8", VT_R8},
      {"CY", VT_CY},           {"DATE", VT_DATE},   {"BSTR", VT_BSTR},
      {"NULLBSTR", VT_BSTR},   {"ERROR", VT_ERROR}, {"DISPATCH", VT_DISPATCH},
      {"UNKNOWN", VT_UNKNOWN}, {"SELF", VT_VARIANT}};
  return names;
}

bool ParseValue(const std::string& text, ScenarioValue& value) {
  const std::string trimmed = Trim(text);
  const size_t blank = trimmed.find_first_of(" \t");
  const std::string type = trimmed.substr(0, blank);
  std::string literal = blank == std::string::npos ? std::string() : Trim(trimmed.substr(blank));
  const auto found = TypeNames().find(type);
  if (found == TypeNames().end()) return false;
  value.type = found->second;
  value.nullText = type == "NULLBSTR";
  value.self = type == "SELF";
  // A text may be quoted to keep blanks at its ends, and repeated: "ab"*3 is ababab.
  if (value.type == VT_BSTR && literal.size() >= 2 && literal.front() == '"') {
    const size_t close = literal.rfind('"');
    long long times = 1;
    if (close == 0 ||
        (close + 1 < literal.size() &&
         (literal[close + 1] != '*' || !ParseInteger(literal.substr(close + 2), times))))
      return false;
    const std::string once = literal.substr(1, close - 1);
    literal.clear();
    for (long long k = 0; k < times; ++k) literal += once;
  }
  value.literal = Unescape(literal);
  if (value.type == VT_BSTR || value.self || value.type == VT_EMPTY || value.type == VT_NULL ||
      value.type == VT_DISPATCH || value.type == VT_UNKNOWN)
    return true;
  if (value.type == VT_BOOL) {
    bool ignored;
    return ParseBoolean(literal, ignored);
  }
  if (value.type == VT_R4 || value.type == VT_R8 || value.type == VT_CY || value.type == VT_DATE) {
    char* end = nullptr;
    std::strtod(literal.c_str(), &end);
    return !literal.empty() && end != nullptr && *end == '\0';
  }
  long long ignored;
  return ParseInteger(literal, ignored);
}

// "0..3" or "1..1"
bool ParseBound(const std::string& text, std::pair<LONG, LONG>& bound) {
  const size_t dots = text.find("..");
  if (dots == std::string::npos) return false;
  long long lower, upper;
  if (!ParseInteger(text.substr(0, dots), lower) || !ParseInteger(text.substr(dots + 2), upper))
    return false;
  bound = {static_cast<LONG>(lower), static_cast<LONG>(upper)};
  return true;
}

bool ParseIndices(const std::string& text, std::vector<LONG>& indices) {
  for (const std::string& item : SplitList(text)) {
    long long index;
    if (!ParseInteger(item, index)) return false;
    indices.push_back(static_cast<LONG>(index));
  }
  return !indices.empty();
}

bool ApplyLine(Scenario& scenario, const std::string& key, const std::string& value) {
  long long number = 0;
  bool flag = false;
  if (key == "interfaces") {
    if (value != "full" && value != "dispatch-only") return false;
    scenario.dispatchOnly = value == "dispatch-only";
  } else if (key == "propertybag") {
    if (value != "yes" && value != "no" && value != "fail") return false;
    scenario.propertyBag = value;
  } else if (key == "default_port") {
    if (!ParseInteger(value, number)) return false;
    scenario.defaultPort = static_cast<int>(number);
  } else if (key == "startup_open") {
    if (value == "auto") {
      scenario.startupOpen = Scenario::StartupOpen::Auto;
    } else if (ParseBoolean(value, flag)) {
      scenario.startupOpen = flag ? Scenario::StartupOpen::Yes : Scenario::StartupOpen::No;
    } else {
      return false;
    }
  } else if (key == "open_ports") {
    scenario.openPorts.clear();
    scenario.allPortsOpen = value == "all";
    if (value == "all" || value == "none") return true;
    for (const std::string& item : SplitList(value)) {
      if (!ParseInteger(item, number)) return false;
      scenario.openPorts.insert(static_cast<int>(number));
    }
  } else if (key == "unit_port") {
    if (value == "none") {
      scenario.unitPort = -1;
    } else {
      if (!ParseInteger(value, number)) return false;
      scenario.unitPort = static_cast<int>(number);
    }
  } else if (key == "answer_after") {
    if (!ParseInteger(value, number) || number < 0) return false;
    scenario.answerAfter = static_cast<int>(number);
  } else if (key == "info_bounds") {
    scenario.infoBounds.clear();
    for (const std::string& item : SplitList(value)) {
      std::pair<LONG, LONG> bound;
      if (!ParseBound(item, bound)) return false;
      scenario.infoBounds.push_back(bound);
    }
  } else if (key.compare(0, 5, "info(") == 0 && key.back() == ')') {
    std::vector<LONG> indices;
    ScenarioValue element;
    if (!ParseIndices(key.substr(5, key.size() - 6), indices) || !ParseValue(value, element))
      return false;
    scenario.infoElements[indices] = element;
  } else if (key == "prescaler0" || key == "prescaler1") {
    return ParseValue(value, scenario.prescaler[key.back() - '0']);
  } else if (key == "missing") {
    for (const std::string& item : SplitList(value)) scenario.missing.insert(item);
  } else if (key == "fail") {
    for (const std::string& item : SplitList(value)) scenario.failing.insert(item);
  } else if (key == "fail_bare") {
    for (const std::string& item : SplitList(value)) scenario.failingBare.insert(item);
  } else if (key == "fail_source") {
    scenario.failSource = value == "\"\"" ? std::string() : Unescape(value);
  } else if (key == "fail_description") {
    scenario.failDescription = Unescape(value);
  } else if (key == "fail_counting") {
    return ParseBoolean(value, scenario.failCounting);
  } else if (key == "fail_deferred") {
    return ParseBoolean(value, scenario.failDeferred);
  } else if (key == "fail_hresult") {
    if (!ParseInteger(value, number)) return false;
    scenario.bareHresult = static_cast<HRESULT>(static_cast<unsigned long>(number));
  } else if (key == "pump") {
    for (const std::string& item : SplitList(value)) scenario.pumping.insert(item);
  } else if (key == "pump_ms") {
    if (!ParseInteger(value, number) || number < 0) return false;
    scenario.pumpMs = static_cast<DWORD>(number);
  } else if (key == "post_quit") {
    return ParseBoolean(value, scenario.postQuit);
  } else if (key == "port_writeback") {
    if (!ParseInteger(value, number)) return false;
    scenario.portWriteBack = true;
    scenario.portWriteBackValue = static_cast<SHORT>(number);
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::string Unescape(const std::string& text) {
  std::string plain;
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] != '\\' || k + 1 == text.size()) {
      plain += text[k];
      continue;
    }
    switch (text[++k]) {
      case 'r':
        plain += '\r';
        break;
      case 'n':
        plain += '\n';
        break;
      case 't':
        plain += '\t';
        break;
      case '0':
        plain += '\0';
        break;
      default:
        plain += text[k];
    }
  }
  return plain;
}

Scenario ParseScenario(const std::string& text, std::vector<std::string>& errors) {
  Scenario scenario;
  scenario.prescaler[0] = {VT_UI1, "1", false};
  scenario.prescaler[1] = {VT_UI1, "1", false};
  std::stringstream stream(text);
  std::string line;
  int number = 0;
  while (std::getline(stream, line)) {
    ++number;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const size_t equals = trimmed.find('=');
    if (equals == std::string::npos ||
        !ApplyLine(scenario, Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))))
      errors.push_back("line " + std::to_string(number) + " not understood: " + trimmed);
  }
  return scenario;
}

Scenario LoadScenario(std::vector<std::string>& errors) {
  const std::wstring path = PathFromEnvironment(L"QELSIM_SCENARIO");
  if (path.empty()) return ParseScenario(kDefaultScenario, errors);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errors.push_back("cannot open scenario " + Narrow(path));
    return ParseScenario(kDefaultScenario, errors);
  }
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) text.append(chunk, read);
  CloseHandle(file);
  return ParseScenario(text, errors);
}

HRESULT MakeVariant(const ScenarioValue& value, VARIANT* out) {
  VariantInit(out);
  const std::string& literal = value.literal;
  switch (value.type) {
    case VT_EMPTY:
      return S_OK;
    case VT_NULL:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      out->vt = value.type;  // object values are null references
      out->punkVal = nullptr;
      return S_OK;
    case VT_BOOL: {
      bool flag = false;
      ParseBoolean(literal, flag);
      out->vt = VT_BOOL;
      out->boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    case VT_BSTR:
      out->vt = VT_BSTR;
      if (value.nullText) return S_OK;
      {
        const std::wstring wide = Widen(literal);
        out->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      }
      return out->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_CY: {
      const double real = std::strtod(literal.c_str(), nullptr);
      out->vt = value.type;
      if (value.type == VT_R4) out->fltVal = static_cast<float>(real);
      if (value.type == VT_R8) out->dblVal = real;
      if (value.type == VT_DATE) out->date = real;
      if (value.type == VT_CY) out->cyVal.int64 = std::llround(real * 10000.0);
      return S_OK;
    }
    default: {
      long long number = 0;
      ParseInteger(literal, number);
      out->vt = value.type;
      switch (value.type) {
        case VT_I1:
          out->cVal = static_cast<CHAR>(number);
          break;
        case VT_UI1:
          out->bVal = static_cast<BYTE>(number);
          break;
        case VT_I2:
          out->iVal = static_cast<SHORT>(number);
          break;
        case VT_UI2:
          out->uiVal = static_cast<USHORT>(number);
          break;
        case VT_I4:
          out->lVal = static_cast<LONG>(number);
          break;
        case VT_UI4:
          out->ulVal = static_cast<ULONG>(number);
          break;
        case VT_INT:
          out->intVal = static_cast<INT>(number);
          break;
        case VT_UINT:
          out->uintVal = static_cast<UINT>(number);
          break;
        case VT_I8:
          out->llVal = number;
          break;
        case VT_UI8:
          out->ullVal = static_cast<ULONGLONG>(number);
          break;
        case VT_ERROR:
          out->scode = static_cast<SCODE>(number);
          break;
        default:
          out->vt = VT_EMPTY;
          return E_INVALIDARG;
      }
      return S_OK;
    }
  }
}

}  // namespace qelsim
