#include "link/ComponentDependencies.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace velmaris {

namespace {

constexpr uint32_t kFileNotFound = 2;

// DLL names compare as Windows compares them, ignoring the case of ASCII letters.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The API sets: Windows maps them to its own DLLs, whatever the folders hold.
bool ResolvedByWindows(std::string_view name) {
  return SameName(name.substr(0, 11), "api-ms-win-") || SameName(name.substr(0, 7), "ext-ms-");
}

std::optional<FoundFile> Find(ComponentFiles& files, const std::vector<AssemblyIdentity>& bound,
                              const std::string& dll) {
  for (const AssemblyIdentity& assembly : bound) {
    if (auto found = files.LocateInAssembly(assembly, dll)) return found;
  }
  return files.Locate(dll);
}

// A DLL looked for: the loader loads a name once. The name is the importing image's, which
// stays in place for the walk.
struct Found {
  std::string_view name;
  FoundFile where;
  size_t followed;  // its index among the files read, kNotRead or kUnreadable
};
constexpr size_t kNotRead = ~size_t{0}, kUnreadable = kNotRead - 1;

Found* Known(std::vector<Found>& found, std::string_view name) {
  for (Found& dll : found) {
    if (SameName(dll.name, name)) return &dll;
  }
  return nullptr;
}

struct Followed {
  std::string path;
  size_t depth;
  std::optional<PeImage> image;
};

}  // namespace

ComponentReadFailure ReadFailureOf(const std::string& what, const Failure& failure) {
  if (const auto* windows = dynamic_cast<const WindowsReadFailure*>(&failure)) {
    return {what, windows->error()};
  }
  return {what, 0, failure.description()};
}

std::optional<PeImage> ReadModule(ComponentFiles& files, const std::string& path,
                                  DependencyWalk& walk) {
  try {
    const std::optional<std::vector<uint8_t>> bytes = files.Read(path, kModuleReadLimit);
    if (!bytes) {
      walk.unread.push_back({path, kFileNotFound});
      return std::nullopt;
    }
    PeImage image = ReadPeImage(bytes->data(), bytes->size());
    if (image.problem == PeProblem::None) return image;
    walk.damaged.push_back(path);
  } catch (const Failure& failure) {
    walk.unread.push_back(ReadFailureOf(path, failure));
  }
  return std::nullopt;
}

DependencyWalk WalkDependencies(const std::string& path, const PeImage& component,
                                ComponentFiles& files) {
  DependencyWalk walk;
  std::vector<Found> found;
  // The files read, breadth first; never more than reserved, so their images stay in place.
  std::vector<Followed> followed;
  followed.reserve(kDependencyFilesAtMost + 1);
  followed.push_back({path, 0, std::nullopt});
  for (size_t next = 0; next < followed.size() && !walk.missingDll; ++next) {
    const Followed& file = followed[next];
    const PeImage& image = next == 0 ? component : *file.image;
    for (const ImportedDll& dll : image.imports) {
      if (ResolvedByWindows(dll.name) || Known(found, dll.name) != nullptr) continue;
      if (found.size() == kDllsLookedForAtMost) break;
      std::optional<FoundFile> where;
      try {
        where = Find(files, image.assemblies, dll.name);
      } catch (const Failure& failure) {
        walk.unread.push_back(ReadFailureOf(dll.name, failure));
        continue;
      }
      if (!where) {
        walk.missingDll = MissingDll{dll.name, file.path};
        break;
      }
      found.push_back({dll.name, *where, kNotRead});
      if (where->inSystemFolder || file.depth >= kDependencyDepth ||
          followed.size() > kDependencyFilesAtMost) {
        continue;
      }
      std::optional<PeImage> module = ReadModule(files, where->path, walk);
      found.back().followed = module ? followed.size() : kUnreadable;
      if (!module) continue;
      followed.push_back({where->path, file.depth + 1, std::move(module)});
    }
  }
  if (walk.missingDll) return walk;

  for (const ImportedDll& dll : component.imports) {
    const Found* known = Known(found, dll.name);
    // Resolved by Windows, not looked for, or named as unreadable already.
    if (known == nullptr || known->followed == kUnreadable) continue;
    std::optional<PeImage> read;
    if (known->followed == kNotRead) read = ReadModule(files, known->where.path, walk);
    const std::optional<PeImage>& exports =
        known->followed == kNotRead ? read : followed[known->followed].image;
    if (!exports) continue;
    for (const ImportedFunction& function : dll.functions) {
      if (!exports->Exports(function)) {
        walk.missingFunction = MissingFunction{dll.name, known->where, function};
        return walk;
      }
    }
  }
  return walk;
}

}  // namespace velmaris
