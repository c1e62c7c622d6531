#include "link/PeImage.h"

#include <algorithm>
#include <string_view>

#include "link/Manifest.h"

namespace velmaris {

namespace {

// Bounds past which a file is taken as damaged rather than read on: more than the loader of
// Windows XP maps, or than any real module has.
constexpr size_t kSectionsAtMost = 96;
constexpr size_t kImportedDllsAtMost = 4096;
constexpr size_t kImportedFunctionsAtMost = 65536;
constexpr uint32_t kExportsAtMost = 65536;
constexpr size_t kNameAtMost = 4096;
constexpr size_t kManifestAtMost = 65536;

constexpr uint16_t kFileDll = 0x2000;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kExportDirectory = 0, kImportDirectory = 1, kResourceDirectory = 2;
constexpr uint32_t kManifestType = 24;
constexpr uint32_t kProgramManifest = 1, kDllManifest = 2;

// Raised inside the reading, caught at its entry point.
struct Damaged {};

struct Section {
  uint32_t address, rawSize, rawOffset;
};

struct Directory {
  uint32_t address = 0, size = 0;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  void Need(uint64_t at, uint64_t count) const {
    if (at > size_ || count > size_ - at) throw Damaged{};
  }
  uint32_t U16(uint64_t at) const {
    Need(at, 2);
    return data_[at] | static_cast<uint32_t>(data_[at + 1]) << 8;
  }
  uint32_t U32(uint64_t at) const {
    Need(at, 4);
    return U16(at) | U16(at + 2) << 16;
  }
  uint64_t U64(uint64_t at) const { return U32(at) | static_cast<uint64_t>(U32(at + 4)) << 32; }
  const uint8_t* At(uint64_t at) const { return data_ + at; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// The module's bytes addressed as the loader maps them.
class Mapped {
 public:
  Mapped(const Reader& file, uint32_t headersSize, std::vector<Section> sections)
      : file_(file), headersSize_(headersSize), sections_(std::move(sections)) {}

  // The file offset of `count` bytes at `rva`, all of them within one section's data.
  uint64_t Offset(uint32_t rva, uint64_t count) const {
    const auto [offset, available] = Locate(rva);
    if (count > available) throw Damaged{};
    file_.Need(offset, count);
    return offset;
  }
  uint32_t U16(uint32_t rva) const { return file_.U16(Offset(rva, 2)); }
  uint32_t U32(uint32_t rva) const { return file_.U32(Offset(rva, 4)); }
  uint64_t U64(uint32_t rva) const { return file_.U64(Offset(rva, 8)); }
  std::string_view Bytes(uint32_t rva, uint32_t count) const {
    return {reinterpret_cast<const char*>(file_.At(Offset(rva, count))), count};
  }

  // The NUL-terminated text at `rva`.
  std::string Text(uint32_t rva) const {
    const auto [offset, available] = Locate(rva);
    const uint64_t inFile = offset < file_.size() ? file_.size() - offset : 0;
    const size_t limit = static_cast<size_t>(std::min<uint64_t>({available, inFile, kNameAtMost}));
    const char* start = reinterpret_cast<const char*>(file_.At(offset));
    const char* end = std::find(start, start + limit, '\0');
    if (end == start + limit) throw Damaged{};
    return std::string(start, end);
  }

 private:
  // The file offset of `rva` and how many bytes of its section follow it.
  std::pair<uint64_t, uint64_t> Locate(uint32_t rva) const {
    if (rva < headersSize_) return {rva, headersSize_ - rva};
    for (const Section& section : sections_) {
      if (rva >= section.address && rva - section.address < section.rawSize) {
        const uint32_t into = rva - section.address;
        return {uint64_t{section.rawOffset} + into, section.rawSize - into};
      }
    }
    throw Damaged{};
  }

  const Reader& file_;
  uint32_t headersSize_;
  std::vector<Section> sections_;
};

// Adding `count` entries of `width` bytes to `rva` stays within 32 bits.
uint32_t Advance(uint32_t rva, uint64_t count, uint64_t width) {
  const uint64_t end = rva + count * width;
  if (end > 0xFFFFFFFFu) throw Damaged{};
  return static_cast<uint32_t>(end);
}

std::vector<ImportedDll> Imports(const Mapped& image, Directory directory, bool wide) {
  std::vector<ImportedDll> dlls;
  if (directory.address == 0) return dlls;
  size_t functions = 0;
  for (uint32_t entry = directory.address;; entry = Advance(entry, 1, 20)) {
    const uint32_t lookup = image.U32(entry), name = image.U32(Advance(entry, 3, 4)),
                   bound = image.U32(Advance(entry, 4, 4));
    // The loader stops at the first entry without a name or an address table.
    if (name == 0 || bound == 0) break;
    if (dlls.size() == kImportedDllsAtMost) throw Damaged{};
    ImportedDll dll{image.Text(name), {}};
    const uint32_t width = wide ? 8 : 4;
    for (uint32_t thunk = lookup != 0 ? lookup : bound;; thunk = Advance(thunk, 1, width)) {
      const uint64_t value = wide ? image.U64(thunk) : image.U32(thunk);
      if (value == 0) break;
      if (++functions > kImportedFunctionsAtMost) throw Damaged{};
      const uint64_t byOrdinal = wide ? uint64_t{1} << 63 : uint64_t{1} << 31;
      if (value & byOrdinal) {
        dll.functions.push_back({"", static_cast<uint16_t>(value & 0xFFFF)});
      } else {
        // The name follows a two-byte hint.
        if (value > 0xFFFFFFFFu) throw Damaged{};
        dll.functions.push_back({image.Text(Advance(static_cast<uint32_t>(value), 1, 2)), 0});
      }
    }
    dlls.push_back(std::move(dll));
  }
  return dlls;
}

void ReadExports(const Mapped& image, Directory directory, PeImage& module) {
  if (directory.address == 0) return;
  const uint32_t table = directory.address;
  const uint32_t base = image.U32(Advance(table, 4, 4));
  const uint32_t functions = image.U32(Advance(table, 5, 4));
  const uint32_t names = image.U32(Advance(table, 6, 4));
  const uint32_t addresses = image.U32(Advance(table, 7, 4));
  const uint32_t nameAddresses = image.U32(Advance(table, 8, 4));
  const uint32_t nameOrdinals = image.U32(Advance(table, 9, 4));
  if (functions > kExportsAtMost || names > kExportsAtMost) throw Damaged{};
  for (uint32_t i = 0; i < functions; ++i) {
    // A zero address is a gap in the ordinals; a forwarded export's points at its text.
    if (image.U32(Advance(addresses, i, 4)) != 0) {
      if (uint64_t{base} + i > 0xFFFFFFFFu) throw Damaged{};
      module.exportOrdinals.push_back(base + i);
    }
  }
  for (uint32_t i = 0; i < names; ++i) {
    if (image.U16(Advance(nameOrdinals, i, 2)) >= functions) throw Damaged{};
    module.exportNames.push_back(image.Text(image.U32(Advance(nameAddresses, i, 4))));
  }
  std::sort(module.exportNames.begin(), module.exportNames.end());
}

// The resource directory's entry with the given id, as an offset from the directory's start
// with its high bit (a subdirectory) kept; 0 when there is none.
uint32_t ResourceEntry(const Mapped& image, uint32_t root, uint32_t directory, uint32_t id) {
  const uint32_t at = Advance(root, directory, 1);
  const uint32_t named = image.U16(Advance(at, 12, 1)), ids = image.U16(Advance(at, 14, 1));
  for (uint32_t i = named; i < named + ids; ++i) {
    const uint32_t entry = Advance(at, 16 + uint64_t{i} * 8, 1);
    if (image.U32(entry) == id) return image.U32(Advance(entry, 4, 1));
  }
  return 0;
}

// The first entry of a directory (the first language of a resource).
uint32_t FirstResourceEntry(const Mapped& image, uint32_t root, uint32_t directory) {
  const uint32_t at = Advance(root, directory, 1);
  if (image.U16(Advance(at, 12, 1)) + image.U16(Advance(at, 14, 1)) == 0) return 0;
  return image.U32(Advance(at, 20, 1));
}

std::vector<AssemblyIdentity> ManifestAssemblies(const Mapped& image, Directory directory,
                                                 bool dll) {
  if (directory.address == 0) return {};
  constexpr uint32_t kSubdirectory = 0x80000000u;
  const uint32_t root = directory.address;
  const uint32_t type = ResourceEntry(image, root, 0, kManifestType);
  if (!(type & kSubdirectory)) return {};
  const uint32_t name =
      ResourceEntry(image, root, type & ~kSubdirectory, dll ? kDllManifest : kProgramManifest);
  if (!(name & kSubdirectory)) return {};
  const uint32_t data = FirstResourceEntry(image, root, name & ~kSubdirectory);
  if (data == 0 || (data & kSubdirectory)) return {};
  const uint32_t dataEntry = Advance(root, data, 1);
  const uint32_t address = image.U32(dataEntry), size = image.U32(Advance(dataEntry, 4, 1));
  if (size > kManifestAtMost) return {};
  return DependentAssemblies(image.Bytes(address, size));
}

Directory DataDirectory(const Reader& file, uint64_t directories, uint32_t count, uint32_t which) {
  if (which >= count) return {};
  const uint64_t at = directories + uint64_t{which} * 8;
  return {file.U32(at), file.U32(at + 4)};
}

void Read(const Reader& file, PeImage& module) {
  if (file.size() < 64 || file.U16(0) != 0x5A4D) return;  // "MZ"
  const uint64_t pe = file.U32(0x3C);
  if (pe > file.size() || file.size() - pe < 24 || file.U32(pe) != 0x00004550) return;  // "PE\0\0"
  module.problem = PeProblem::Damaged;
  const uint64_t header = pe + 4;
  module.machine = static_cast<uint16_t>(file.U16(header));
  const uint32_t sectionCount = file.U16(header + 2);
  const uint32_t optionalSize = file.U16(header + 16);
  module.dll = (file.U16(header + 18) & kFileDll) != 0;

  const uint64_t optional = header + 20;
  const uint32_t magic = file.U16(optional);
  const bool wide = magic == kMagicPe32Plus;
  if (magic != kMagicPe32 && !wide) throw Damaged{};
  if ((module.machine == kMachineI386 && wide) || (module.machine == kMachineAmd64 && !wide)) {
    throw Damaged{};
  }
  // The data directories' count and the directories themselves, within the optional header.
  const uint32_t countAt = wide ? 108 : 92;
  if (optionalSize < countAt + 4) throw Damaged{};
  file.Need(optional, optionalSize);
  const uint32_t headersSize = file.U32(optional + 60);
  const uint32_t count =
      std::min<uint32_t>({file.U32(optional + countAt), 16, (optionalSize - countAt - 4) / 8});

  if (sectionCount > kSectionsAtMost) throw Damaged{};
  std::vector<Section> sections;
  const uint64_t table = optional + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint64_t at = table + uint64_t{i} * 40;
    sections.push_back({file.U32(at + 12), file.U32(at + 16), file.U32(at + 20)});
  }
  const Mapped image(file, headersSize, std::move(sections));
  const uint64_t directories = optional + countAt + 4;
  module.imports = Imports(image, DataDirectory(file, directories, count, kImportDirectory), wide);
  ReadExports(image, DataDirectory(file, directories, count, kExportDirectory), module);
  try {
    module.assemblies = ManifestAssemblies(
        image, DataDirectory(file, directories, count, kResourceDirectory), module.dll);
  } catch (const Damaged&) {
    module.assemblies.clear();
  }
  module.problem = PeProblem::None;
}

}  // namespace

bool PeImage::Exports(const ImportedFunction& function) const {
  if (function.name.empty()) {
    return std::binary_search(exportOrdinals.begin(), exportOrdinals.end(), function.ordinal);
  }
  return std::binary_search(exportNames.begin(), exportNames.end(), function.name);
}

PeImage ReadPeImage(const uint8_t* data, size_t size) {
  PeImage module;
  try {
    Read(Reader(data, size), module);
  } catch (const Damaged&) {
    module.problem = PeProblem::Damaged;
  }
  if (module.problem != PeProblem::None) {
    module.imports.clear();
    module.exportNames.clear();
    module.exportOrdinals.clear();
  }
  return module;
}

}  // namespace velmaris
