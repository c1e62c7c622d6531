#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "CallLog.h"
#include "Environment.h"
#include "ProgramWindow.h"
#include "Utf8.h"
#include "WindowSearch.h"
#include "WinePath.h"

namespace velmaris::e2e {

using test::CountEntries;
using test::FromUnixPath;
using test::RequiredEnvironment;
using test::Text;
using test::Utf8;
using test::Wide;

// One run of the real VelmarisDiag.exe under Wine against the simulated component, driven from
// outside the way a user or an automation tool would: by window caption, class and text.
class AppUnderTest {
 public:
  struct Options {
    Options(std::string scenario, std::string windowsVersion = "")
        : scenario(std::move(scenario)), windowsVersion(std::move(windowsVersion)) {}
    std::string scenario;        // a file of the simulator's scenarios folder
    std::string windowsVersion;  // Wine's version setting for this run ("win7" ...)
    // False: Wine refuses to load the component's DLL, as on a PC without the software.
    bool componentInstalled = true;
  };

  explicit AppUnderTest(const Options& options);
  ~AppUnderTest();
  AppUnderTest(const AppUnderTest&) = delete;
  AppUnderTest& operator=(const AppUnderTest&) = delete;

  // The main window once it exists (visible or not); nullptr after the timeout.
  HWND WaitForWindow(DWORD timeoutMs = 20000);
  // Waits until the main window, once found, shows.
  bool WaitUntilShown(DWORD timeoutMs = 10000);
  // A message box of the program; nullptr after the timeout.
  HWND WaitForMessageBox(DWORD timeoutMs = 20000);
  HWND MessageBoxOf() const;
  // Waits for a message box, answers it with OK as a user would, and returns its title and
  // text; an empty title and text when none came.
  struct Message {
    std::wstring title;
    std::wstring text;
  };
  Message AnswerMessage(DWORD timeoutMs = 15000);
  bool WaitForExit(DWORD timeoutMs = 10000);
  // The program's exit code once it has ended.
  DWORD ExitCode() const;
  bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

  HWND window() const { return window_; }
  HWND Button(const std::wstring& caption) const;
  HWND StatusBox() const;
  HWND ReportPane() const;
  void Click(HWND button) const;
  void CloseByCloseBox() const;
  // Clicks "Copiar Informe" and waits until the clipboard holds the report pane's text; returns
  // the clipboard's text as it is then, as another program would paste it.
  std::wstring CopyReport(DWORD timeoutMs = 10000);
  // Clicks "Salir" and waits for the program to end.
  bool ExitBySalir(DWORD timeoutMs = 10000);

  // The keyboard as the user's: the program's window brought to the front, then real key
  // strokes. `modifier` (VK_SHIFT, VK_MENU ...) is held down around the key.
  bool BringToFront();
  void PressKey(WORD key, WORD modifier = 0) const;
  // A key held down while the keyboard repeats it `downs` times, then released.
  void HoldKey(WORD key, int downs) const;
  void Type(const std::wstring& text) const;
  // The window that has the keyboard focus in the program's window thread.
  HWND Focus() const;
  bool WaitForFocus(HWND control, DWORD timeoutMs = 5000);

  // The simulated component's call log, one entry per call received.
  std::vector<std::string> Log() const;
  std::string LogText() const;

 private:
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  std::wstring runName_;
  std::wstring logPath_;
  std::wstring exePath_;
};

// A report's lines, in UTF-8.
std::vector<std::string> Lines(const std::wstring& text);

// Unicode text on the clipboard, as another program would paste it.
std::wstring ClipboardText();
// Leaves the clipboard empty, so that an earlier copy cannot pass for the next one.
void EmptyTheClipboard();

}  // namespace velmaris::e2e
