// Fuzzes the section on what Windows sees, and its verdict, with what Windows reports and what the
// port check found built from the fuzzer's bytes: names, instance ids, driver versions and dates,
// problem numbers, check results and failed readings. The verdict is 2 to 6 lines and opens the
// section, unless the reading failed as a whole; every line keeps the report's rules; nothing but
// the program's Failure is thrown.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInvariants.h"
#include "FuzzValues.h"
#include "common/Failure.h"
#include "diagnosis/KnownBadDrivers.h"
#include "diagnosis/PortsToCheck.h"
#include "diagnosis/Verdict.h"
#include "diagnosis/WindowsDevicesSection.h"

namespace velmaris::fuzzing {
namespace {

// The longest line: the verdict names three ports, each with two names from Windows cut at 100
// characters and a driver version.
constexpr size_t kLineCharactersAtMost = 1000;

class FactSource {
 public:
  explicit FactSource(FuzzedDataProvider& data) : data_(data), values_(data) {}

  WindowsDevices Devices() {
    WindowsDevices devices;
    for (size_t n = Count(16); n > 0; --n) devices.ports.push_back(Port());
    for (size_t n = Count(16); n > 0; --n) {
      devices.problemDevices.push_back({Text(), Class(), Problem(), InstanceId(), Unread()});
    }
    for (size_t n = Count(15); n > 0; --n)
      devices.heldPorts.push_back({PortName(), Text(), Unread()});
    for (size_t n = Count(4); n > 0; --n) devices.unread.push_back(UnreadOf(AnyFact()));
    return devices;
  }

  int16_t FirstPortNotTried() {
    return data_.ConsumeBool() ? int16_t{22} : data_.ConsumeIntegral<int16_t>();
  }

  PortChecks Checks() {
    PortChecks checks;
    for (size_t n = Count(10); n > 0; --n) {
      const auto port = data_.ConsumeBool() ? data_.ConsumeIntegralInRange<int16_t>(1, 30)
                                            : data_.ConsumeIntegral<int16_t>();
      const auto state = static_cast<PortState>(data_.ConsumeIntegralInRange(0, 6));
      checks.results.push_back({port, state, Code()});
    }
    checks.made = data_.ConsumeIntegralInRange(0, 7) != 0;
    checks.whyNotMade = data_.ConsumeBool() ? 0 : Code();
    return checks;
  }

 private:
  size_t Count(size_t most) { return data_.ConsumeIntegralInRange<size_t>(0, most); }

  // What Windows keeps as a name: anything, long runs that must be cut, control characters and
  // bytes that are no UTF-8.
  std::string Text() {
    switch (data_.ConsumeIntegralInRange(0, 4)) {
      case 0:
        return data_.PickValueInArray(
            {"", "USB Serial Port (COM3)", "ñandú\r\n", "\xE2\x80\xA8", "\xC2\x85", "\x80"});
      case 1: {
        const char* run = data_.PickValueInArray({"x", "\x80", "\n", "\xC3\xB1", "\xE2\x80\xA8"});
        std::string text;
        for (size_t n = data_.ConsumeIntegralInRange<size_t>(90, 3000); n > 0; --n) text += run;
        return text;
      }
      default:
        return data_.ConsumeRandomLengthString(120);
    }
  }

  std::string PortName() {
    switch (data_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return "COM" + std::to_string(data_.ConsumeIntegralInRange(0, 40));
      case 1:
        return data_.PickValueInArray(
            {"", "com3", "COM03", "LPT1", "CNCA0", "COM0", "COM99999", "COM123456", "COM-1"});
      default:
        return data_.ConsumeRandomLengthString(12);
    }
  }

  std::string InstanceId() {
    return data_.PickValueInArray({"", "USB\\", "usb\\", "FTDIBUS\\", "ACPI\\PNP0501\\", "*PNP0501",
                                   "BTHENUM\\", "PCI\\", "ROOT\\"}) +
           data_.ConsumeRandomLengthString(24);
  }

  std::string Version() {
    switch (data_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return data_.PickValueInArray(
            {"", "3.8.2023.2", "3.8.2023.02", "3.9.2024.9", "99999.1", "1..2", ".", "4294967296"});
      case 1:
        return values_.NumberLikeText();
      default:
        return data_.ConsumeRandomLengthString(24);
    }
  }

  std::string Date() {
    if (data_.ConsumeBool()) return data_.ConsumeRandomLengthString(16);
    return std::to_string(data_.ConsumeIntegralInRange(0, 130)) + "-" +
           std::to_string(data_.ConsumeIntegralInRange(0, 40)) + "-" +
           std::to_string(data_.ConsumeIntegralInRange(0, 100000));
  }

  DriverFacts Driver() {
    return {data_.ConsumeBool(),
            data_.ConsumeBool() ? data_.PickValueInArray({"wch.cn", "WCH.CN", "FTDI", ""})
                                : data_.ConsumeRandomLengthString(16),
            Version(), Date()};
  }

  SerialPort Port() {
    return {PortName(),   Text(),   static_cast<PortDevice>(data_.ConsumeIntegralInRange(0, 2)),
            InstanceId(), Driver(), Unread()};
  }

  DeviceClass Class() { return static_cast<DeviceClass>(data_.ConsumeIntegralInRange(0, 4)); }

  uint32_t Problem() {
    return data_.ConsumeBool() ? data_.PickValueInArray({10u, 22u, 28u, 43u, 0u, 31u, 99u})
                               : data_.ConsumeIntegral<uint32_t>();
  }

  uint32_t Code() {
    return data_.ConsumeBool() ? data_.PickValueInArray({0u, 2u, 5u, 8u, 13u, 0x0Du, 0x33u, 87u,
                                                         0xE000020Bu, 0xFFFFFFFFu, 65535u, 65536u})
                               : data_.ConsumeIntegral<uint32_t>();
  }

  // DeviceFact::All is rare: it stands for a reading that failed as a whole.
  DeviceFact AnyFact() {
    const int fact = data_.ConsumeIntegralInRange(0, 15);
    return static_cast<DeviceFact>(fact <= static_cast<int>(DeviceFact::DriverDate) ? fact : 1);
  }

  UnreadFact UnreadOf(DeviceFact fact) {
    const auto cause = static_cast<UnreadFact::Cause>(data_.ConsumeIntegralInRange(0, 2));
    const uint32_t code = Code();
    return {fact, cause, code, Text()};
  }

  // A port's or device's values that failed; some of them name a list instead.
  std::vector<UnreadFact> Unread() {
    std::vector<UnreadFact> unread;
    for (size_t n = Count(3); n > 0; --n) {
      const int first =
          data_.ConsumeIntegralInRange(0, 7) == 0 ? 0 : static_cast<int>(DeviceFact::PortName);
      unread.push_back(UnreadOf(static_cast<DeviceFact>(
          data_.ConsumeIntegralInRange(first, static_cast<int>(DeviceFact::DriverDate)))));
    }
    return unread;
  }

  FuzzedDataProvider& data_;
  ValueSource values_;
};

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// One line of the report: no control character (U+0000 to U+001F, U+007F to U+009F, U+2028,
// U+2029), not empty, and no longer than the longest line the section words.
void CheckLine(const std::string& line) {
  Require(!line.empty(), "a line is not empty");
  size_t characters = 0;
  for (size_t at = 0; at < line.size(); ++at) {
    const auto byte = static_cast<unsigned char>(line[at]);
    const auto next = [&](size_t k) {
      return at + k < line.size() ? static_cast<unsigned char>(line[at + k]) : 0u;
    };
    Require(byte >= 0x20 && byte != 0x7F, "no control character in a line", line);
    Require(!(byte == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F), "no C1 control in a line", line);
    Require(!(byte == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)),
            "no line or paragraph separator in a line", line);
    if (!IsContinuationByte(line[at])) ++characters;
  }
  Require(characters <= kLineCharactersAtMost && line.size() <= 4 * kLineCharactersAtMost,
          "a line is bounded", std::to_string(line.size()));
}

void CheckOneInput(FuzzedDataProvider& data) {
  FactSource source(data);
  const WindowsDevices devices = source.Devices();
  const int16_t firstPortNotTried = source.FirstPortNotTried();
  const PortChecks checks = source.Checks();

  std::vector<std::string> verdict;
  bool verdictFailed = false;
  try {
    const std::vector<int16_t> toCheck = PortsToCheck(devices, firstPortNotTried);
    for (size_t i = 0; i < toCheck.size(); ++i) {
      Require(toCheck[i] >= 1 && toCheck[i] < firstPortNotTried &&
                  (i == 0 || toCheck[i - 1] < toCheck[i]),
              "the ports to check were tried, each once, lowest first");
    }
    verdict = Verdict(devices, firstPortNotTried, checks, KnownBadDrivers());
  } catch (const Failure&) {
    verdictFailed = true;
  } catch (...) {
    Fail("the verdict threw something other than a Failure");
  }
  std::vector<std::string> section;
  try {
    section = WindowsDevicesSection(devices, firstPortNotTried, checks);
  } catch (...) {
    Fail("the section threw");
  }

  for (const std::string& line : section) CheckLine(line);
  Require(section.size() >= 5, "a heading and at least one entry");
  Require(section[1] == "LO QUE WINDOWS VE EN ESTE EQUIPO", "the section's heading");
  const std::vector<std::string> afterHeading(section.begin() + 3, section.end());
  if (Failed(devices.unread, DeviceFact::All) || verdictFailed) {
    Require(afterHeading.size() % 2 == 0, "a reading that failed as a whole is its one entry");
    for (size_t i = 0; i < afterHeading.size(); i += 2) {
      Require(afterHeading[i] == "* No se pudo leer lo que ve Windows:",
              "no verdict where the reading failed as a whole", afterHeading[i]);
    }
    return;
  }
  Require(verdict.size() >= 2 && verdict.size() <= 6, "the verdict is 2 to 6 lines",
          std::to_string(verdict.size()));
  Require(StartsWith(verdict[0], "Causa más probable: ") ||
              verdict[0] == "Ninguna causa destaca sobre las demás." ||
              verdict[0] == "No se puede decidir la causa más probable:",
          "the verdict opens with its finding", verdict[0]);
  Require(afterHeading.size() > verdict.size() &&
              std::equal(verdict.begin(), verdict.end(), afterHeading.begin()) &&
              afterHeading[verdict.size()] == "Puertos serie (COM) que tiene Windows:",
          "the verdict opens the section, and the lists follow it");
}

}  // namespace
}  // namespace velmaris::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  velmaris::fuzzing::CheckOneInput(data);
  return 0;
}
