#pragma once

#include <cstdint>
#include <string>

namespace velmaris {

inline constexpr const char* kConnected = "CONECTADO";
inline constexpr const char* kNotDetected = "NO DETECTADO";
// Windows colour values 0x00BBGGRR.
inline constexpr uint32_t kScanColour = 0x0000FF;       // red
inline constexpr uint32_t kConnectedColour = 0x008000;  // dark green
// A failed open that leaves PortIndex above this port counts as a pass over the end.
inline constexpr int16_t kLastPort = 20;
inline constexpr int16_t kPassesToGiveUp = 2;

// The status while trying a port: USB for port 0, COMn otherwise.
std::string ScanStatusText(int16_t port);

// Adds 1 to a 16-bit counter. Past 32767 it raises an overflow Failure and leaves the counter
// as it was.
void Increment(int16_t& counter);

}  // namespace velmaris
