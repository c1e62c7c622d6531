// A small driver for demonstrations: waits until the running VelmarisDiag window has finished its
// scan (or a time limit passes) and prints its status and report as UTF-8.
//   diag_driver <seconds>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "AppUnderTest.h"

namespace {

const wchar_t* const kCaption = L"Diagnóstico de Compatibilidad de Velmaris";

HWND Edit(HWND window, bool multiLine) {
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (lstrcmpiW(name, L"EDIT") == 0 &&
        ((GetWindowLongW(child, GWL_STYLE) & ES_MULTILINE) != 0) == multiLine) {
      return child;
    }
  }
  return nullptr;
}

void Print(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using velmaris::e2e::Text;
  using velmaris::e2e::Utf8;
  const DWORD limitMs = (argc > 1 ? static_cast<DWORD>(_wtoi(argv[1])) : 30) * 1000;
  const DWORD start = GetTickCount();
  HWND window = nullptr;
  std::wstring status;
  while (GetTickCount() - start < limitMs) {
    window = FindWindowW(nullptr, kCaption);
    if (window != nullptr) {
      status = Text(Edit(window, false));
      if (status == L"CONECTADO" || status == L"NO DETECTADO") break;
    }
    Sleep(200);
  }
  if (window == nullptr) {
    Print("No se encontró la ventana de VelmarisDiag.\n");
    return 1;
  }
  Sleep(500);  // the report follows the status within the same tick
  RECT frame;
  GetWindowRect(window, &frame);
  const std::string geometry = std::to_string(frame.right - frame.left) + "x" +
                               std::to_string(frame.bottom - frame.top) + "+" +
                               std::to_string(frame.left) + "+" + std::to_string(frame.top);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), geometry.data(), static_cast<DWORD>(geometry.size()),
            &written, nullptr);
  Print("Estado: " + Utf8(Text(Edit(window, false))) + "\n\n");
  std::string report = Utf8(Text(Edit(window, true)));
  std::string lines;
  for (char c : report) {
    if (c != '\r') lines += c;
  }
  Print(lines + "\n");
  return 0;
}
