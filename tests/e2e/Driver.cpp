// A small driver for demonstrations: waits until the running VelmarisDiag window has finished its
// scan (or a time limit passes) and prints its status and report as UTF-8.
//   diag_driver <seconds>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "ProgramWindow.h"
#include "Utf8.h"
#include "WindowSearch.h"

namespace {

void Print(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using velmaris::test::FindProgramWindow;
  using velmaris::test::ReportPaneOf;
  using velmaris::test::StatusBoxOf;
  using velmaris::test::Text;
  using velmaris::test::Utf8;
  const DWORD limitMs = (argc > 1 ? static_cast<DWORD>(_wtoi(argv[1])) : 30) * 1000;
  const DWORD start = GetTickCount();
  HWND window = nullptr;
  std::wstring status;
  while (GetTickCount() - start < limitMs) {
    window = FindProgramWindow(0);
    if (window != nullptr) {
      status = Text(StatusBoxOf(window));
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
  Print("Estado: " + Utf8(Text(StatusBoxOf(window))) + "\n\n");
  std::string report = Utf8(Text(ReportPaneOf(window)));
  std::string lines;
  for (char c : report) {
    if (c != '\r') lines += c;
  }
  Print(lines + "\n");
  return 0;
}
