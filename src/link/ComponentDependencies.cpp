#include "link/ComponentDependencies.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>

namespace velmaris {

namespace {

constexpr uint32_t kFileNotFound = 2;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The API sets: Windows maps them to its own DLLs, whatever the folders hold.
bool ResolvedByWindows(const std::string& lowerName) {
  return lowerName.rfind("api-ms-win-", 0) == 0 || lowerName.rfind("ext-ms-", 0) == 0;
}

std::optional<FoundFile> Find(ComponentFiles& files, const std::vector<AssemblyIdentity>& bound,
                              const std::string& dll) {
  for (const AssemblyIdentity& assembly : bound) {
    if (auto found = files.LocateInAssembly(assembly, dll)) return found;
  }
  return files.Locate(dll);
}

struct Pending {
  std::string path;
  PeImage image;
  size_t depth;
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
  std::map<std::string, FoundFile> found;  // by lower-case name: the loader loads a name once
  std::map<std::string, std::optional<PeImage>> read;  // nullopt: named in walk already
  size_t filesRead = 0;
  std::deque<Pending> pending;
  pending.push_back({path, component, 0});
  while (!pending.empty() && !walk.missingDll) {
    const Pending file = std::move(pending.front());
    pending.pop_front();
    for (const ImportedDll& dll : file.image.imports) {
      const std::string name = Lower(dll.name);
      if (ResolvedByWindows(name) || found.count(name) != 0) continue;
      std::optional<FoundFile> where;
      try {
        where = Find(files, file.image.assemblies, dll.name);
      } catch (const Failure& failure) {
        walk.unread.push_back(ReadFailureOf(dll.name, failure));
        continue;
      }
      if (!where) {
        walk.missingDll = MissingDll{dll.name, file.path};
        break;
      }
      found[name] = *where;
      if (where->inSystemFolder || file.depth >= kDependencyDepth ||
          filesRead >= kDependencyFilesAtMost) {
        continue;
      }
      ++filesRead;
      const std::optional<PeImage>& image = read[name] = ReadModule(files, where->path, walk);
      if (image) pending.push_back({where->path, *image, file.depth + 1});
    }
  }
  if (walk.missingDll) return walk;

  for (const ImportedDll& dll : component.imports) {
    const std::string name = Lower(dll.name);
    const auto where = found.find(name);
    if (where == found.end()) continue;  // resolved by Windows, or not looked for
    auto image = read.find(name);
    if (image == read.end()) {
      image = read.emplace(name, ReadModule(files, where->second.path, walk)).first;
    }
    if (!image->second) continue;
    for (const ImportedFunction& function : dll.functions) {
      if (!image->second->Exports(function)) {
        walk.missingFunction = MissingFunction{dll.name, where->second, function};
        return walk;
      }
    }
  }
  return walk;
}

}  // namespace velmaris
