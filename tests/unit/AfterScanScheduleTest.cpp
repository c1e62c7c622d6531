// The work after a scan without a unit, as timelines: what the schedule orders, and what it found.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/AfterScanSchedule.h"

namespace velmaris {
namespace {

using ::testing::ElementsAreArray;

// One thing that happens to the schedule: the time passes, or a worker reports its step.
struct Event {
  enum class Kind { Tick, Reading, Open, NoWorker };
  Kind kind;
  uint32_t at;
  unsigned worker = 0;
  uint32_t error = 0;  // an open's
};

Event Tick(uint32_t at) { return {Event::Kind::Tick, at}; }
Event Read(uint32_t at, unsigned worker) { return {Event::Kind::Reading, at, worker}; }
Event Opened(uint32_t at, unsigned worker, uint32_t error) {
  return {Event::Kind::Open, at, worker, error};
}
Event NoWorker(uint32_t at) { return {Event::Kind::NoWorker, at}; }

// The timer's ticks from `from` to `to`, kScheduleTickMs apart.
std::vector<Event> Ticks(uint32_t from, uint32_t to) {
  std::vector<Event> ticks;
  for (uint32_t at = from; at - from <= to - from; at += kScheduleTickMs) ticks.push_back(Tick(at));
  return ticks;
}

std::vector<Event> Then(std::vector<Event> first, const std::vector<Event>& next) {
  first.insert(first.end(), next.begin(), next.end());
  return first;
}

// What a reading finds: the ports to open, or a failure as a whole.
struct Reading {
  std::vector<int16_t> ports;
  const char* failure = nullptr;
};

struct Timeline {
  const char* name;
  uint32_t startAt;
  Reading reading;
  std::vector<Event> events;
  std::vector<std::string> orders;   // "<ms from start> <order>"
  std::vector<std::string> results;  // at the end
  const char* devicesFailure = nullptr;
  unsigned workers = 1;
  ScheduleTimes times = {};
  bool chooserFails = false;
};

// The ports that a test reading lists are those the chooser picks.
WindowsDevices Found(const Reading& reading) {
  if (reading.failure != nullptr) return NothingRead(reading.failure);
  WindowsDevices devices;
  for (const int16_t port : reading.ports) devices.ports.push_back({"COM" + std::to_string(port)});
  return devices;
}

std::vector<int16_t> ChosenPorts(const WindowsDevices& devices) {
  std::vector<int16_t> ports;
  for (const SerialPort& port : devices.ports) {
    ports.push_back(static_cast<int16_t>(std::stoi(port.name.substr(3))));
  }
  return ports;
}

std::string Described(const ScheduleOrder& order, uint32_t since) {
  static const char* const kKinds[] = {"read", "open", "give up", "finish"};
  std::string text = std::to_string(since) + " " + kKinds[static_cast<int>(order.kind)];
  if (order.kind == ScheduleOrder::Kind::Open) text += " COM" + std::to_string(order.port);
  text += " w" + std::to_string(order.worker);
  if (order.fresh) text += " fresh";
  return text;
}

std::string Described(const PortCheckResult& result) {
  static const char* const kStates[] = {"Free",        "InUse", "Gone",      "NoAnswer",
                                        "DriverFails", "Error", "NotChecked"};
  return "COM" + std::to_string(result.port) + " " + kStates[static_cast<int>(result.state)] + " " +
         std::to_string(result.error);
}

const std::vector<int16_t> kEightPorts = {1, 2, 3, 4, 5, 6, 7, 8};

// Times are ms from the start; the reading comes in at 100 unless a row says otherwise.
const Timeline kTimelines[] = {
    {"opens that all hang are given up one by one, a fresh worker each, until the cap",
     0,
     {kEightPorts},
     Then({Read(100, 1)}, Ticks(150, 9000)),
     {"0 read w1 fresh", "100 open COM1 w1", "1600 give up w1", "1600 open COM2 w2 fresh",
      "3100 give up w2", "3100 open COM3 w3 fresh", "4600 give up w3", "4600 open COM4 w4 fresh",
      "6100 give up w4", "6100 open COM5 w5 fresh", "7600 give up w5", "7600 open COM6 w6 fresh",
      "8100 give up w6", "8100 finish w6"},
     {"COM1 NoAnswer 0", "COM2 NoAnswer 0", "COM3 NoAnswer 0", "COM4 NoAnswer 0", "COM5 NoAnswer 0",
      "COM6 NoAnswer 0", "COM7 NotChecked 0", "COM8 NotChecked 0"},
     nullptr,
     6},
    {"opens that answer go on on the same worker; a late answer of one given up is ignored",
     0,
     {{1, 2, 3, 4}},
     Then(Then({Read(100, 1), Opened(300, 1, 2)}, Ticks(350, 1800)),
          Then({Opened(1850, 1, 0)}, Ticks(1850, 5000))),
     {"0 read w1 fresh", "100 open COM1 w1", "300 open COM2 w1", "1800 give up w1",
      "1800 open COM3 w2 fresh", "3300 give up w2", "3300 open COM4 w3 fresh", "4800 give up w3",
      "4800 finish w3"},
     {"COM1 Gone 2", "COM2 NoAnswer 0", "COM3 NoAnswer 0", "COM4 NoAnswer 0"},
     nullptr,
     3},
    {"the fresh worker's answers count, then the check finishes; answers after it change nothing",
     0,
     {{1, 2, 3}},
     Then(Then({Read(100, 1)}, Ticks(150, 1600)),
          {Opened(1650, 1, 0), Opened(1700, 2, 5), Opened(1750, 2, 31), Opened(1800, 2, 0),
           Tick(9000), Read(9100, 1)}),
     {"0 read w1 fresh", "100 open COM1 w1", "1600 give up w1", "1600 open COM2 w2 fresh",
      "1700 open COM3 w2", "1750 finish w2"},
     {"COM1 NoAnswer 0", "COM2 InUse 5", "COM3 DriverFails 31"},
     nullptr,
     2},
    {"opens that each answer just in time run into the cap, which the open under way shares",
     0,
     {kEightPorts},
     {Read(0, 1), Opened(1450, 1, 0), Opened(2900, 1, 0), Opened(4350, 1, 0), Opened(5800, 1, 0),
      Opened(7250, 1, 0), Tick(7950), Tick(8000), Opened(8050, 1, 0)},
     {"0 read w1 fresh", "0 open COM1 w1", "1450 open COM2 w1", "2900 open COM3 w1",
      "4350 open COM4 w1", "5800 open COM5 w1", "7250 open COM6 w1", "8000 give up w1",
      "8000 finish w1"},
     {"COM1 Free 0", "COM2 Free 0", "COM3 Free 0", "COM4 Free 0", "COM5 Free 0", "COM6 NoAnswer 0",
      "COM7 NotChecked 0", "COM8 NotChecked 0"},
     nullptr,
     1},
    {"an answer that comes in past the cap counts, and no open starts after it",
     0,
     {{1, 2, 3}},
     {Read(0, 1), Opened(7990, 1, 0), Opened(8010, 1, 32), Tick(8020)},
     {"0 read w1 fresh", "0 open COM1 w1", "7990 open COM2 w1", "8010 finish w1"},
     {"COM1 Free 0", "COM2 InUse 32", "COM3 NotChecked 0"},
     nullptr,
     1},
    {"shorter opens would need more workers: the limit ends the check first",
     0,
     {{1, 2, 3, 4, 5, 6, 7, 8, 9}},
     Then({Read(0, 1)}, Ticks(50, 9000)),
     {"0 read w1 fresh", "0 open COM1 w1", "1000 give up w1", "1000 open COM2 w2 fresh",
      "2000 give up w2", "2000 open COM3 w3 fresh", "3000 give up w3", "3000 open COM4 w4 fresh",
      "4000 give up w4", "4000 open COM5 w5 fresh", "5000 give up w5", "5000 open COM6 w6 fresh",
      "6000 give up w6", "6000 finish w6"},
     {"COM1 NoAnswer 0", "COM2 NoAnswer 0", "COM3 NoAnswer 0", "COM4 NoAnswer 0", "COM5 NoAnswer 0",
      "COM6 NoAnswer 0", "COM7 NotChecked 0", "COM8 NotChecked 0", "COM9 NotChecked 0"},
     nullptr,
     6,
     {kReadingMs, 1000, 8000, kMostWorkers}},
    {"a reading that runs out of time is given up: no opens, and its late result is ignored",
     0,
     {{1, 2}},
     Then(Ticks(0, 10500), {Read(12000, 1)}),
     {"0 read w1 fresh", "10000 give up w1", "10000 finish w1"},
     {},
     "Windows no terminó de listar los dispositivos en 10 segundos"},
    {"a reading that failed as a whole opens nothing",
     0,
     {{}, "sin memoria"},
     {Read(100, 1), Tick(200)},
     {"0 read w1 fresh", "100 finish w1"},
     {},
     "sin memoria"},
    {"a reading with no port to open finishes at once",
     0,
     {{}},
     {Read(100, 1)},
     {"0 read w1 fresh", "100 finish w1"},
     {}},
    {"a reading whose ports cannot be chosen finishes with what Windows sees",
     0,
     {{1}},
     {Read(100, 1)},
     {"0 read w1 fresh", "100 finish w1"},
     {},
     nullptr,
     1,
     {},
     true},
    {"a fresh worker that cannot start leaves the ports left unchecked",
     0,
     {{1, 2, 3}},
     Then(Then({Read(0, 1)}, Ticks(50, 1500)), {NoWorker(1500), Tick(1550)}),
     {"0 read w1 fresh", "0 open COM1 w1", "1500 give up w1", "1500 open COM2 w2 fresh",
      "1500 finish w2"},
     {"COM1 NoAnswer 0", "COM2 NotChecked 0", "COM3 NotChecked 0"},
     nullptr,
     2},
    {"the clock wraps during the work",
     0xFFFFFF00u,
     {{1, 2}},
     Then({Read(0x100, 1), Opened(0x200, 1, 121)}, Ticks(0x250, 2100)),
     {"0 read w1 fresh", "256 open COM1 w1", "512 open COM2 w1", "2042 give up w1",
      "2042 finish w1"},
     {"COM1 NoAnswer 121", "COM2 NoAnswer 0"},
     nullptr,
     1},
};

TEST(AfterScanSchedule, Timelines) {
  for (const Timeline& timeline : kTimelines) {
    SCOPED_TRACE(timeline.name);
    AfterScanSchedule schedule(
        [&](const WindowsDevices& devices) {
          if (timeline.chooserFails) throw std::bad_alloc();
          return ChosenPorts(devices);
        },
        timeline.times);
    std::vector<std::string> orders;
    const auto record = [&](const std::vector<ScheduleOrder>& given, uint32_t at) {
      for (const ScheduleOrder& order : given) {
        orders.push_back(Described(order, at - timeline.startAt));
      }
    };
    record({schedule.Start(timeline.startAt)}, timeline.startAt);
    for (Event event : timeline.events) {
      // Rows give their times from the start, and the clock wraps as GetTickCount's does.
      const uint32_t at = timeline.startAt + event.at;
      switch (event.kind) {
        case Event::Kind::Tick:
          record(schedule.Tick(at), at);
          break;
        case Event::Kind::Reading:
          record(schedule.Done(
                     at, {event.worker, StepOutcome::Step::Reading, 0, Found(timeline.reading)}),
                 at);
          break;
        case Event::Kind::Open:
          record(schedule.Done(at, {event.worker, StepOutcome::Step::Open, event.error}), at);
          break;
        case Event::Kind::NoWorker:
          record(schedule.WorkerNotStarted(at), at);
          break;
      }
    }
    EXPECT_THAT(orders, ElementsAreArray(timeline.orders));
    EXPECT_TRUE(schedule.finished());
    std::vector<std::string> results;
    for (const PortCheckResult& result : schedule.results()) results.push_back(Described(result));
    EXPECT_THAT(results, ElementsAreArray(timeline.results));
    const std::vector<UnreadFact>& unread = schedule.devices().unread;
    if (timeline.devicesFailure == nullptr) {
      EXPECT_TRUE(unread.empty());
      EXPECT_EQ(schedule.devices().ports.size(), timeline.reading.ports.size());
    } else {
      ASSERT_EQ(unread.size(), 1u);
      EXPECT_EQ(unread[0].fact, DeviceFact::All);
      EXPECT_EQ(unread[0].description, timeline.devicesFailure);
    }
    EXPECT_EQ(schedule.workersStarted(), timeline.workers);
  }
}

}  // namespace
}  // namespace velmaris
