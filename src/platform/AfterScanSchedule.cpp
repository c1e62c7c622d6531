#include "platform/AfterScanSchedule.h"

#include <utility>

namespace velmaris {

std::string ReadingOutOfTime(uint32_t readingMs) {
  return "Windows no terminó de listar los dispositivos en " + std::to_string(readingMs / 1000) +
         " segundos";
}

AfterScanSchedule::AfterScanSchedule(PortChooser choose, ScheduleTimes times)
    : choose_(std::move(choose)), times_(times) {}

ScheduleOrder AfterScanSchedule::Start(uint32_t now) {
  phase_ = Phase::Reading;
  workers_ = 1;
  busy_ = true;
  stepSince_ = now;
  return {ScheduleOrder::Kind::Read, workers_, true};
}

std::vector<ScheduleOrder> AfterScanSchedule::Tick(uint32_t now) {
  if (!busy_) return {};
  if (phase_ == Phase::Reading && now - stepSince_ >= times_.readingMs) {
    devices_ = NothingRead(ReadingOutOfTime(times_.readingMs));
    std::vector<ScheduleOrder> orders = {{ScheduleOrder::Kind::GiveUp, workers_}};
    orders.push_back(Finish().front());
    return orders;
  }
  if (phase_ == Phase::Opening && (CheckTimeUp(now) || now - stepSince_ >= times_.openMs)) {
    // Whatever the open says later comes too late to count.
    results_[next_ - 1].state = PortState::NoAnswer;
    busy_ = false;
    std::vector<ScheduleOrder> orders = {{ScheduleOrder::Kind::GiveUp, workers_}};
    for (const ScheduleOrder& order : OpenNext(now, true)) orders.push_back(order);
    return orders;
  }
  return {};
}

std::vector<ScheduleOrder> AfterScanSchedule::Done(uint32_t now, StepOutcome outcome) {
  // An outcome of a worker given up, or of a step not under way, changes nothing.
  if (!busy_ || outcome.worker != workers_) return {};
  if (phase_ == Phase::Reading && outcome.step == StepOutcome::Step::Reading) {
    busy_ = false;
    devices_ = std::move(outcome.devices);
    std::vector<int16_t> ports;
    try {
      ports = choose_(devices_);
    } catch (...) {
      // No port known to open: the section still says what Windows sees.
    }
    for (const int16_t port : ports) results_.push_back({port, PortState::NotChecked});
    phase_ = Phase::Opening;
    checkSince_ = now;
    return OpenNext(now, false);
  }
  if (phase_ == Phase::Opening && outcome.step == StepOutcome::Step::Open) {
    busy_ = false;
    PortCheckResult& result = results_[next_ - 1];
    result.state = PortStateOfOpen(outcome.error);
    result.error = outcome.error;
    return OpenNext(now, false);
  }
  return {};
}

std::vector<ScheduleOrder> AfterScanSchedule::WorkerNotStarted(uint32_t) {
  if (phase_ == Phase::Finished) return {};
  // Without a worker nothing more is read or opened: the ports left are not checked.
  if (phase_ == Phase::Reading) devices_ = NothingRead("");
  if (phase_ == Phase::Opening && busy_) results_[next_ - 1].state = PortState::NotChecked;
  return Finish();
}

std::vector<ScheduleOrder> AfterScanSchedule::OpenNext(uint32_t now, bool fresh) {
  if (next_ == results_.size() || CheckTimeUp(now)) return Finish();
  if (fresh && workers_ == times_.workers) return Finish();
  if (fresh) ++workers_;
  busy_ = true;
  stepSince_ = now;
  return {{ScheduleOrder::Kind::Open, workers_, fresh, results_[next_++].port}};
}

std::vector<ScheduleOrder> AfterScanSchedule::Finish() {
  phase_ = Phase::Finished;
  busy_ = false;
  return {{ScheduleOrder::Kind::Finish, workers_}};
}

}  // namespace velmaris
