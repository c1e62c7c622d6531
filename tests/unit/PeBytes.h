#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "link/PeImage.h"

namespace velmaris::fakes {

// A minimal module's description: the headers, one section holding the import directory, the
// export table and the manifest resource.
struct PeSpec {
  uint16_t machine = kMachineI386;
  bool dll = true;
  // Imported DLLs and their functions; "#7" imports ordinal 7.
  std::vector<std::pair<std::string, std::vector<std::string>>> imports{};
  // Exports with ordinals 1, 2, ... in order: "Name", "#" (no name), "" (a gap in the ordinals),
  // "Name>Other.Function" (forwarded).
  std::vector<std::string> exports{};
  std::string manifest{};  // resource 2 for a DLL, 1 for a program; none when empty
};

class PeWriter {
 public:
  explicit PeWriter(size_t size = 0) : bytes_(size) {}
  std::vector<uint8_t> bytes_;

  void Set16(size_t at, uint32_t value) {
    Grow(at + 2);
    for (int i = 0; i < 2; ++i) bytes_[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  void Set32(size_t at, uint32_t value) {
    Set16(at, value & 0xFFFF);
    Set16(at + 2, value >> 16);
  }
  void Set64(size_t at, uint64_t value) {
    Set32(at, static_cast<uint32_t>(value));
    Set32(at + 4, static_cast<uint32_t>(value >> 32));
  }
  // Appends `count` zero bytes, 4-aligned, and gives their offset.
  size_t Reserve(size_t count) {
    Grow((bytes_.size() + 3) & ~size_t{3});
    const size_t at = bytes_.size();
    Grow(at + count);
    return at;
  }
  size_t Text(const std::string& text) {
    const size_t at = Reserve(text.size() + 1);
    std::copy(text.begin(), text.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
    return at;
  }

 private:
  void Grow(size_t size) {
    if (bytes_.size() < size) bytes_.resize(size);
  }
};

inline std::vector<uint8_t> PeBytes(const PeSpec& spec) {
  constexpr uint32_t kHeaders = 0x200, kSectionRva = 0x1000;
  const bool wide = spec.machine == kMachineAmd64;
  PeWriter section;
  const auto rva = [&](size_t offset) { return static_cast<uint32_t>(kSectionRva + offset); };
  uint32_t directories[3][2] = {};

  if (!spec.imports.empty()) {
    const size_t descriptors = section.Reserve((spec.imports.size() + 1) * 20);
    directories[1][0] = rva(descriptors);
    directories[1][1] = static_cast<uint32_t>((spec.imports.size() + 1) * 20);
    for (size_t i = 0; i < spec.imports.size(); ++i) {
      const auto& [dll, functions] = spec.imports[i];
      const size_t width = wide ? 8 : 4;
      std::vector<uint64_t> thunks;
      for (const std::string& function : functions) {
        if (function[0] == '#') {
          thunks.push_back((wide ? uint64_t{1} << 63 : uint64_t{1} << 31) |
                           std::stoul(function.substr(1)));
        } else {
          thunks.push_back(rva(section.Text("\1\1" + function)));  // a hint, then the name
        }
      }
      const size_t table = section.Reserve((thunks.size() + 1) * width);
      for (size_t t = 0; t < thunks.size(); ++t) {
        wide ? section.Set64(table + t * 8, thunks[t])
             : section.Set32(table + t * 4, static_cast<uint32_t>(thunks[t]));
      }
      const size_t at = descriptors + i * 20;
      section.Set32(at, rva(table));
      section.Set32(at + 12, rva(section.Text(dll)));
      section.Set32(at + 16, rva(table));
    }
  }

  if (!spec.exports.empty()) {
    const size_t directory = section.Reserve(40);
    const size_t count = spec.exports.size();
    const size_t addresses = section.Reserve(count * 4);
    std::vector<std::pair<std::string, uint16_t>> names;
    for (size_t i = 0; i < count; ++i) {
      const std::string& entry = spec.exports[i];
      if (entry.empty()) continue;
      const size_t forward = entry.find('>');
      uint32_t address = kSectionRva;  // code, as far as anyone reading the table knows
      if (forward != std::string::npos) address = rva(section.Text(entry.substr(forward + 1)));
      section.Set32(addresses + i * 4, address);
      if (entry != "#") names.push_back({entry.substr(0, forward), static_cast<uint16_t>(i)});
    }
    std::sort(names.begin(), names.end());
    const size_t nameTable = section.Reserve(names.size() * 4);
    const size_t ordinalTable = section.Reserve(names.size() * 2);
    for (size_t i = 0; i < names.size(); ++i) {
      section.Set32(nameTable + i * 4, rva(section.Text(names[i].first)));
      section.Set16(ordinalTable + i * 2, names[i].second);
    }
    section.Set32(directory + 16, 1);  // the ordinal base
    section.Set32(directory + 20, static_cast<uint32_t>(count));
    section.Set32(directory + 24, static_cast<uint32_t>(names.size()));
    section.Set32(directory + 28, rva(addresses));
    section.Set32(directory + 32, rva(nameTable));
    section.Set32(directory + 36, rva(ordinalTable));
    directories[0][0] = rva(directory);
    directories[0][1] = static_cast<uint32_t>(section.bytes_.size() - directory);
  }

  if (!spec.manifest.empty()) {
    // Type 24, then the resource's id, then its one language, each a directory of one entry.
    const size_t root = section.Reserve(3 * 24 + 16);
    const uint32_t ids[3] = {24, spec.dll ? 2u : 1u, 1033};
    for (uint32_t level = 0; level < 3; ++level) {
      const size_t at = root + level * 24;
      section.Set16(at + 14, 1);
      section.Set32(at + 16, ids[level]);
      section.Set32(at + 20, level < 2 ? 0x80000000u | (level + 1) * 24 : 3 * 24);
    }
    section.Set32(root + 3 * 24, rva(section.Text(spec.manifest)));
    section.Set32(root + 3 * 24 + 4, static_cast<uint32_t>(spec.manifest.size()));
    directories[2][0] = rva(root);
    directories[2][1] = static_cast<uint32_t>(section.bytes_.size() - root);
  }
  if (section.bytes_.empty()) section.Reserve(4);  // never an empty section

  PeWriter file(kHeaders);
  file.Set16(0, 0x5A4D);
  file.Set32(0x3C, 0x40);
  file.Set32(0x40, 0x4550);
  const size_t optionalSize = wide ? 240 : 224;
  file.Set16(0x44, spec.machine);
  file.Set16(0x46, 1);
  file.Set16(0x54, static_cast<uint32_t>(optionalSize));
  file.Set16(0x56, spec.dll ? 0x2102 : 0x0102);
  const size_t optional = 0x58;
  file.Set16(optional, wide ? 0x20B : 0x10B);
  file.Set32(optional + 60, kHeaders);
  const size_t countAt = optional + (wide ? 108 : 92);
  file.Set32(countAt, 16);
  for (size_t i = 0; i < 3; ++i) {
    file.Set32(countAt + 4 + i * 8, directories[i][0]);
    file.Set32(countAt + 8 + i * 8, directories[i][1]);
  }
  const size_t header = optional + optionalSize;
  const uint32_t size = static_cast<uint32_t>(section.bytes_.size());
  file.Set32(header + 8, size);
  file.Set32(header + 12, kSectionRva);
  file.Set32(header + 16, size);
  file.Set32(header + 20, kHeaders);
  file.bytes_.insert(file.bytes_.end(), section.bytes_.begin(), section.bytes_.end());
  return file.bytes_;
}

}  // namespace velmaris::fakes
