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

constexpr uint32_t kFileDll = 0x2000;
constexpr uint32_t kMagicPe32 = 0x10B, kMagicPe32Plus = 0x20B;
constexpr uint32_t kExportDirectory = 0, kImportDirectory = 1, kResourceDirectory = 2;
constexpr uint32_t kManifestType = 24, kProgramManifest = 1, kDllManifest = 2;
constexpr uint32_t kSubdirectory = 0x80000000u;

struct Section {
  uint32_t address, rawSize, rawOffset;
};

struct Directory {
  uint32_t address = 0, size = 0;
};

// The module's bytes, as the file holds them and as the loader maps them. A reading outside
// them gives 0 or an empty text and marks the whole reading bad; every loop ends on it.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool bad = false;

  bool Has(uint64_t at, uint64_t count) {
    if (at > size_ || count > size_ - at) bad = true;
    return !bad;
  }
  uint32_t U16(uint64_t at) { return Has(at, 2) ? data_[at] | uint32_t{data_[at + 1]} << 8 : 0; }
  uint32_t U32(uint64_t at) { return Has(at, 4) ? U16(at) | U16(at + 2) << 16 : 0; }

  void Map(uint32_t headersSize, std::vector<Section> sections) {
    headersSize_ = headersSize;
    sections_ = std::move(sections);
  }

  // `count` entries of `width` bytes past `rva`, within 32 bits.
  uint32_t Advance(uint32_t rva, uint64_t count, uint64_t width = 1) {
    const uint64_t end = rva + count * width;
    if (end > 0xFFFFFFFFu) bad = true;
    return bad ? 0 : static_cast<uint32_t>(end);
  }
  // The file offset of `count` bytes at `rva`, all within one section's data.
  uint64_t Offset(uint32_t rva, uint64_t count) {
    const auto [offset, available] = Locate(rva);
    if (count > available) bad = true;
    return Has(offset, count) ? offset : 0;
  }
  uint32_t Rva16(uint32_t rva) { return U16(Offset(rva, 2)); }
  uint32_t Rva32(uint32_t rva) { return U32(Offset(rva, 4)); }
  uint64_t Rva64(uint32_t rva) { return Rva32(rva) | uint64_t{Rva32(Advance(rva, 4))} << 32; }
  std::string_view Bytes(uint32_t rva, uint32_t count) {
    const uint64_t at = Offset(rva, count);
    return bad ? std::string_view() : std::string_view(Chars() + at, count);
  }
  // The NUL-terminated text at `rva`.
  std::string Text(uint32_t rva) {
    const auto [offset, available] = Locate(rva);
    if (bad || offset >= size_) {
      bad = true;
      return {};
    }
    const size_t limit =
        static_cast<size_t>(std::min<uint64_t>({available, size_ - offset, kNameAtMost}));
    const char* start = Chars() + offset;
    const char* end = std::find(start, start + limit, '\0');
    if (end == start + limit) {
      bad = true;
      return {};
    }
    return std::string(start, end);
  }

 private:
  const char* Chars() const { return reinterpret_cast<const char*>(data_); }

  // The file offset of `rva` and how many bytes of its section follow it.
  std::pair<uint64_t, uint64_t> Locate(uint32_t rva) {
    if (rva < headersSize_) return {rva, headersSize_ - rva};
    for (const Section& section : sections_) {
      if (rva >= section.address && rva - section.address < section.rawSize) {
        const uint32_t into = rva - section.address;
        return {uint64_t{section.rawOffset} + into, section.rawSize - into};
      }
    }
    bad = true;
    return {0, 0};
  }

  const uint8_t* data_;
  size_t size_;
  uint32_t headersSize_ = 0;
  std::vector<Section> sections_{};
};

void ReadImports(Reader& image, Directory directory, bool wide, PeImage& module) {
  if (directory.address == 0) return;
  const uint32_t width = wide ? 8 : 4;
  const uint64_t byOrdinal = wide ? uint64_t{1} << 63 : uint64_t{1} << 31;
  size_t functions = 0;
  for (uint32_t entry = directory.address; !image.bad; entry = image.Advance(entry, 20)) {
    const uint32_t lookup = image.Rva32(entry), name = image.Rva32(image.Advance(entry, 12)),
                   bound = image.Rva32(image.Advance(entry, 16));
    // The loader stops at the first entry without a name or an address table.
    if (name == 0 || bound == 0) break;
    if (module.imports.size() == kImportedDllsAtMost) image.bad = true;
    ImportedDll dll{image.Text(name), {}};
    for (uint32_t thunk = lookup != 0 ? lookup : bound; !image.bad;
         thunk = image.Advance(thunk, width)) {
      const uint64_t value = wide ? image.Rva64(thunk) : image.Rva32(thunk);
      if (value == 0) break;
      if (++functions > kImportedFunctionsAtMost) image.bad = true;
      if (value & byOrdinal) {
        dll.functions.push_back({"", static_cast<uint16_t>(value)});
      } else {
        if (value > 0xFFFFFFFFu) image.bad = true;
        // The name follows a two-byte hint.
        dll.functions.push_back({image.Text(image.Advance(static_cast<uint32_t>(value), 2)), 0});
      }
    }
    module.imports.push_back(std::move(dll));
  }
}

void ReadExports(Reader& image, Directory directory, PeImage& module) {
  if (directory.address == 0) return;
  const uint32_t table = directory.address;
  const uint32_t base = image.Rva32(image.Advance(table, 16));
  const uint32_t functions = image.Rva32(image.Advance(table, 20));
  const uint32_t names = image.Rva32(image.Advance(table, 24));
  const uint32_t addresses = image.Rva32(image.Advance(table, 28));
  const uint32_t nameAddresses = image.Rva32(image.Advance(table, 32));
  const uint32_t nameOrdinals = image.Rva32(image.Advance(table, 36));
  if (functions > kExportsAtMost || names > kExportsAtMost) image.bad = true;
  module.exportBase = base;
  module.exportOrdinals.assign(image.bad ? 0 : functions, 0);
  for (uint32_t i = 0; i < functions && !image.bad; ++i) {
    // A zero address is a gap in the ordinals; a forwarded export's points at its text.
    module.exportOrdinals[i] = image.Rva32(image.Advance(addresses, i, 4)) != 0;
  }
  for (uint32_t i = 0; i < names && !image.bad; ++i) {
    if (image.Rva16(image.Advance(nameOrdinals, i, 2)) >= functions) image.bad = true;
    module.exportNames.push_back(image.Text(image.Rva32(image.Advance(nameAddresses, i, 4))));
  }
}

// The entry of the resource directory at `directory` (an offset from the resources' start) with
// the given id, or its first entry; 0 when there is none.
uint32_t ResourceEntry(Reader& image, uint32_t root, uint32_t directory, uint32_t id) {
  const uint32_t at = image.Advance(root, directory);
  const uint32_t named = image.Rva16(image.Advance(at, 12)),
                 ids = image.Rva16(image.Advance(at, 14));
  for (uint32_t i = named; i < named + ids && !image.bad; ++i) {
    const uint32_t entry = image.Advance(at, 16 + uint64_t{i} * 8);
    if (id == 0 || image.Rva32(entry) == id) return image.Rva32(image.Advance(entry, 4));
  }
  return 0;
}

std::vector<AssemblyIdentity> ManifestAssemblies(Reader& image, Directory directory, bool dll) {
  const uint32_t root = directory.address;
  if (root == 0) return {};
  const uint32_t type = ResourceEntry(image, root, 0, kManifestType);
  if (!(type & kSubdirectory)) return {};
  const uint32_t name =
      ResourceEntry(image, root, type & ~kSubdirectory, dll ? kDllManifest : kProgramManifest);
  if (!(name & kSubdirectory)) return {};
  const uint32_t data = ResourceEntry(image, root, name & ~kSubdirectory, 0);  // any language
  if (data == 0 || (data & kSubdirectory)) return {};
  const uint32_t entry = image.Advance(root, data);
  const uint32_t address = image.Rva32(entry), size = image.Rva32(image.Advance(entry, 4));
  if (size > kManifestAtMost || image.bad) return {};
  return DependentAssemblies(image.Bytes(address, size));
}

Directory DataDirectory(Reader& file, uint64_t directories, uint32_t count, uint32_t which) {
  if (which >= count) return {};
  const uint64_t at = directories + uint64_t{which} * 8;
  return {file.U32(at), file.U32(at + 4)};
}

void Read(Reader& file, PeImage& module) {
  if (file.U16(0) != 0x5A4D) return;  // "MZ"
  const uint64_t pe = file.U32(0x3C);
  if (file.U32(pe) != 0x00004550 || !file.Has(pe, 24) || file.bad) return;  // "PE\0\0"
  module.problem = PeProblem::Damaged;
  const uint64_t header = pe + 4;
  module.machine = static_cast<uint16_t>(file.U16(header));
  const uint32_t sectionCount = file.U16(header + 2);
  const uint32_t optionalSize = file.U16(header + 16);
  module.dll = (file.U16(header + 18) & kFileDll) != 0;

  const uint64_t optional = header + 20;
  const uint32_t magic = file.U16(optional);
  const bool wide = magic == kMagicPe32Plus;
  // The data directories' count, then the directories, within the optional header.
  const uint32_t countAt = wide ? 108 : 92;
  if ((magic != kMagicPe32 && !wide) || (module.machine == kMachineI386 && wide) ||
      (module.machine == kMachineAmd64 && !wide) || optionalSize < countAt + 4 ||
      sectionCount > kSectionsAtMost || !file.Has(optional, optionalSize)) {
    return;
  }
  const uint32_t count =
      std::min<uint32_t>({file.U32(optional + countAt), 16, (optionalSize - countAt - 4) / 8});
  std::vector<Section> sections;
  const uint64_t table = optional + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint64_t at = table + uint64_t{i} * 40;
    sections.push_back({file.U32(at + 12), file.U32(at + 16), file.U32(at + 20)});
  }
  file.Map(file.U32(optional + 60), std::move(sections));
  const uint64_t directories = optional + countAt + 4;
  const Directory resources = DataDirectory(file, directories, count, kResourceDirectory);
  ReadImports(file, DataDirectory(file, directories, count, kImportDirectory), wide, module);
  ReadExports(file, DataDirectory(file, directories, count, kExportDirectory), module);
  if (file.bad) return;
  // The loader maps a module whatever its resources hold: a damaged tree reads as no manifest.
  module.assemblies = ManifestAssemblies(file, resources, module.dll);
  if (file.bad) module.assemblies.clear();
  module.problem = PeProblem::None;
}

}  // namespace

bool PeImage::Exports(const ImportedFunction& function) const {
  if (function.name.empty()) {
    const uint32_t index = function.ordinal - exportBase;
    return function.ordinal >= exportBase && index < exportOrdinals.size() &&
           exportOrdinals[index] != 0;
  }
  size_t low = 0, high = exportNames.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const int order = exportNames[middle].compare(function.name);
    if (order == 0) return true;
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return false;
}

PeImage ReadPeImage(const uint8_t* data, size_t size) {
  PeImage module;
  Reader file(data, size);
  Read(file, module);
  if (module.problem != PeProblem::None) {
    module.imports.clear();
    module.exportNames.clear();
    module.exportOrdinals.clear();
  }
  return module;
}

}  // namespace velmaris
