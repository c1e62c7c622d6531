#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PortCheck.h"
#include "platform/WindowsDevices.h"

namespace velmaris {

// The work after a scan without a unit, step by step: read what Windows sees, then open the
// ports chosen from that reading, one at a time. Either can block in Windows for as long as a
// driver likes, so each step runs on a worker thread; this schedule only decides. It is fed the
// time and each step's outcome, and answers with orders.

// The reading gets at most this long, each open at most kPortOpenMs, and all the opens, from
// the first one's start, at most kPortCheckMs.
inline constexpr uint32_t kReadingMs = 10000;
inline constexpr uint32_t kPortOpenMs = 1500;
inline constexpr uint32_t kPortCheckMs = 8000;
// How often the schedule wants to be told the time while work is under way.
inline constexpr uint32_t kScheduleTickMs = 50;
// Workers started for one check, the reading's included. A worker whose step is given up is
// left to end on its own, and a fresh one takes the next step; each given-up open has had
// kPortOpenMs of the kPortCheckMs, which bounds how many are ever started.
inline constexpr unsigned kMostWorkers = 6;
static_assert(1 + (kPortCheckMs - 1) / kPortOpenMs <= kMostWorkers,
              "the opens' times need more workers than the limit allows");

// What a reading given up for its time says in place of the facts.
std::string ReadingOutOfTime(uint32_t readingMs);

struct ScheduleTimes {
  uint32_t readingMs = kReadingMs;
  uint32_t openMs = kPortOpenMs;
  uint32_t checkMs = kPortCheckMs;
  unsigned workers = kMostWorkers;
};

// A step a worker carried out, as it reports it. Workers are numbered from 1 in the order the
// schedule started them.
struct StepOutcome {
  enum class Step { Reading, Open };
  unsigned worker;
  Step step;
  uint32_t error = 0;        // an open's Windows error, 0 when the port opened
  WindowsDevices devices{};  // the reading's
};

// What to do next. Read and Open run on worker `worker`, a new thread when `fresh`; GiveUp leaves
// worker `worker` to end on its own, its outcome no longer awaited; Finish ends the work, whose
// devices and results are then complete.
struct ScheduleOrder {
  enum class Kind { Read, Open, GiveUp, Finish };
  Kind kind;
  unsigned worker = 0;
  bool fresh = false;
  int16_t port = 0;
};

class AfterScanSchedule {
 public:
  explicit AfterScanSchedule(PortChooser choose, ScheduleTimes times = {});

  // The first order: the reading, on worker 1.
  ScheduleOrder Start(uint32_t now);
  // The time, `now` in ms on a clock that may wrap.
  std::vector<ScheduleOrder> Tick(uint32_t now);
  std::vector<ScheduleOrder> Done(uint32_t now, StepOutcome outcome);
  // A fresh worker the last orders asked for could not be started.
  std::vector<ScheduleOrder> WorkerNotStarted(uint32_t now);

  bool finished() const { return phase_ == Phase::Finished; }
  // What Windows sees: a reading that failed or ran out of time is its one unread fact of
  // DeviceFact::All.
  const WindowsDevices& devices() const { return devices_; }
  // One result per port chosen, in that order; a port not reached is NotChecked.
  const std::vector<PortCheckResult>& results() const { return results_; }
  unsigned workersStarted() const { return workers_; }

 private:
  enum class Phase { Idle, Reading, Opening, Finished };
  std::vector<ScheduleOrder> Opened(uint32_t now);
  std::vector<ScheduleOrder> OpenNext(uint32_t now, bool fresh);
  std::vector<ScheduleOrder> Finish();
  bool CheckTimeUp(uint32_t now) const { return now - checkSince_ >= times_.checkMs; }

  PortChooser choose_;
  ScheduleTimes times_;
  Phase phase_ = Phase::Idle;
  unsigned workers_ = 0;  // started so far; the last is the one whose outcome counts
  bool busy_ = false;     // the counting worker has a step under way, since stepSince_
  uint32_t stepSince_ = 0;
  uint32_t checkSince_ = 0;
  WindowsDevices devices_;
  std::vector<PortCheckResult> results_;
  size_t next_ = 0;  // the next port to open
};

}  // namespace velmaris
