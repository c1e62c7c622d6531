// Times Windows programs from their start to their first painted window, and reads their peak
// memory, from outside as the user would wait for them.
//   bench_driver startup <runs> <program>...   each program <runs> times, taking turns
//   bench_driver hold <seconds> <program>      one run kept open that long
//   bench_driver silence <runs> <program>...   the end of a scan without a unit, <runs> times each
// Prints one line per program: "<program> ms=<median> min=<min> max=<max> peak_kb=<median>"; the
// silence mode "silence tick_ms=<median> section_ms=<median> to_section_ms=<median> ms=<median>
// min=<min> max=<max> program=<program>", the last three of the time to the section.
//
// The silence is probed as another program would meet it: from the scan's last port on, every
// 10 ms a WM_NULL sent with SMTO_NORMAL, each wait timed, and so are the reads of the status and
// the report between them. The tick that ends the scan is the longest wait of the round after
// which the status first says the scan is over; the event that writes the section is the longest
// wait from then until the report grows; the time to the section runs from the start of that
// round to the read that saw the section.
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "ProgramWindow.h"
#include "WindowSearch.h"

namespace {

struct Sample {
  double ms = 0;
  SIZE_T peakBytes = 0;
};

struct Search {
  DWORD processId;
  HWND found = nullptr;
};

BOOL CALLBACK FindVisibleWindow(HWND hwnd, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != search->processId || !IsWindowVisible(hwnd)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / frequency;
}

class Run {
 public:
  explicit Run(const std::wstring& program) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + program + L"\"";
    started_ = Now();
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process_)) {
      std::fwprintf(stderr, L"cannot start %ls (%lu)\n", program.c_str(), GetLastError());
      std::exit(2);
    }
  }

  ~Run() {
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 5000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 1);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }

  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Milliseconds from the start until a visible window whose thread is back in its message loop:
  // both programs paint with UpdateWindow right after showing, so the paint is done by then.
  double WaitUntilPainted() {
    for (;;) {
      Search search{process_.dwProcessId};
      EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
      DWORD_PTR ignored = 0;
      if (search.found != nullptr &&
          SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored) != 0) {
        window_ = search.found;
        return Now() - started_;
      }
      if (WaitForSingleObject(process_.hProcess, 1) == WAIT_OBJECT_0) {
        std::fwprintf(stderr, L"the program ended before showing its window\n");
        std::exit(3);
      }
    }
  }

  DWORD processId() const { return process_.dwProcessId; }

  SIZE_T PeakWorkingSet() const {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process_.hProcess, &counters, sizeof counters)
               ? counters.PeakWorkingSetSize
               : 0;
  }

 private:
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  double started_ = 0;
};

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Print(const std::wstring& program, const std::vector<Sample>& samples) {
  std::vector<double> ms;
  std::vector<SIZE_T> peak;
  for (const Sample& sample : samples) {
    ms.push_back(sample.ms);
    peak.push_back(sample.peakBytes);
  }
  std::wprintf(L"%ls ms=%.1f min=%.1f max=%.1f peak_kb=%lu\n", program.c_str(), Median(ms),
               *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()),
               static_cast<unsigned long>(Median(peak) / 1024));
}

constexpr UINT kProbeLimitMs = 30000;
const wchar_t* const kSectionTitle = L"LO QUE WINDOWS VE EN ESTE EQUIPO";

// A short text of another process's window; empty when the window does not answer.
std::wstring ShortText(HWND window) {
  wchar_t text[128] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                           kProbeLimitMs, &copied)) {
    return {};
  }
  return text;
}

size_t TextLength(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kProbeLimitMs, &length);
  return length;
}

struct Silence {
  double tickMs = 0;
  double sectionMs = 0;
  double toSectionMs = 0;
};

// How long a call into the window took, in ms.
template <typename Call>
double Timed(Call call) {
  const double start = Now();
  call();
  return Now() - start;
}

// One run of the program through the end of its scan. Each message sent to the window waits for
// whatever event it is running, so every call is timed: the end tick holds a call of the round
// after which the status says the scan is over, and it starts within that round.
Silence ScanEnd(const std::wstring& program) {
  Run run(program);
  run.WaitUntilPainted();
  HWND window = velmaris::test::FindProgramWindow(run.processId());
  HWND status = velmaris::test::StatusBoxOf(window);
  HWND report = velmaris::test::ReportPaneOf(window);
  while (ShortText(status) != L"ESCANEANDO PUERTO COM20") Sleep(10);
  Silence silence;
  double tickStart = 0;
  size_t reportAtScanEnd = 0;
  for (bool scanOver = false;;) {
    const double start = Now();
    const double probeMs = Timed([&] {
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kProbeLimitMs, &ignored);
    });
    if (!scanOver) {
      std::wstring statusText;
      const double statusMs = Timed([&] { statusText = ShortText(status); });
      if (statusText == L"NO DETECTADO") {
        scanOver = true;
        tickStart = start;
        silence.tickMs = std::max(probeMs, statusMs);
        // The section may come with an event that runs while the report is read.
        bool sectionThere = false;
        silence.sectionMs = Timed([&] {
          reportAtScanEnd = TextLength(report);
          sectionThere = velmaris::test::Text(report).find(kSectionTitle) != std::wstring::npos;
        });
        if (sectionThere) {
          silence.toSectionMs = Now() - tickStart;
          return silence;
        }
        silence.sectionMs = 0;
      }
    } else {
      size_t length = 0;
      const double lengthMs = Timed([&] { length = TextLength(report); });
      silence.sectionMs = std::max({silence.sectionMs, probeMs, lengthMs});
      if (length > reportAtScanEnd) {
        silence.toSectionMs = Now() - tickStart;
        return silence;
      }
    }
    const double next = start + 10 - Now();
    if (next > 0) Sleep(static_cast<DWORD>(next));
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fwprintf(stderr,
                  L"usage: bench_driver startup <runs> <program>... | hold <s> <program>\n");
    return 2;
  }
  const std::wstring mode = argv[1];
  const int count = std::max(1, _wtoi(argv[2]));
  const std::vector<std::wstring> programs(argv + 3, argv + argc);
  std::vector<std::vector<Sample>> samples(programs.size());
  if (mode == L"startup") {
    // Taking turns spreads any slow spell of the machine over every program alike.
    for (int i = 0; i < count; ++i) {
      for (size_t p = 0; p < programs.size(); ++p) {
        Run run(programs[p]);
        Sample sample;
        sample.ms = run.WaitUntilPainted();
        sample.peakBytes = run.PeakWorkingSet();
        samples[p].push_back(sample);
      }
    }
  } else if (mode == L"silence") {
    std::vector<std::vector<Silence>> runs(programs.size());
    // Taking turns here too: the section's figures swing with the machine by tens of ms.
    for (int i = 0; i < count; ++i) {
      for (size_t p = 0; p < programs.size(); ++p) runs[p].push_back(ScanEnd(programs[p]));
    }
    for (size_t p = 0; p < programs.size(); ++p) {
      std::vector<double> tick, section, toSection;
      for (const Silence& silence : runs[p]) {
        tick.push_back(silence.tickMs);
        section.push_back(silence.sectionMs);
        toSection.push_back(silence.toSectionMs);
      }
      std::wprintf(
          L"silence tick_ms=%.1f section_ms=%.1f to_section_ms=%.1f ms=%.1f min=%.1f "
          L"max=%.1f program=%ls\n",
          Median(tick), Median(section), Median(toSection), Median(toSection),
          *std::min_element(toSection.begin(), toSection.end()),
          *std::max_element(toSection.begin(), toSection.end()), programs[p].c_str());
    }
    return 0;
  } else if (mode == L"hold") {
    Run run(programs[0]);
    Sample sample;
    sample.ms = run.WaitUntilPainted();
    Sleep(static_cast<DWORD>(count) * 1000);
    sample.peakBytes = run.PeakWorkingSet();
    samples[0].push_back(sample);
    samples.resize(1);
  } else {
    return 2;
  }
  for (size_t p = 0; p < samples.size(); ++p) Print(programs[p], samples[p]);
  return 0;
}
