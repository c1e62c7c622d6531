#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "PeBytes.h"
#include "link/ComponentFiles.h"

namespace velmaris::fakes {

// Files as the loader would find them, in memory.
class FakeComponentFiles : public ComponentFiles {
 public:
  std::map<std::string, std::vector<uint8_t>> files;  // by path
  std::map<std::string, FoundFile> located;           // by DLL name as imported
  std::map<std::string, FoundFile> inAssemblies;      // by "assembly name/DLL name"
  std::set<std::string> refused;  // paths and DLL names whose reading Windows refuses (error 5)

  // A module at `path` that the loader finds by its file name.
  void Place(const std::string& name, const std::string& folder, const PeSpec& spec,
             bool system = false) {
    const std::string path = folder + "\\" + name;
    files[path] = PeBytes(spec);
    located[name] = {path, system};
  }

  std::optional<std::vector<uint8_t>> Read(const std::string& path, size_t limit) override {
    if (refused.count(path) != 0) throw WindowsReadFailure(5);
    const auto file = files.find(path);
    if (file == files.end()) return std::nullopt;
    return std::vector<uint8_t>(file->second.begin(),
                                file->second.begin() + std::min(limit, file->second.size()));
  }
  std::optional<FoundFile> Locate(const std::string& dllName) override {
    if (refused.count(dllName) != 0) throw WindowsReadFailure(5);
    const auto found = located.find(dllName);
    return found == located.end() ? std::nullopt : std::optional<FoundFile>(found->second);
  }
  std::optional<FoundFile> LocateInAssembly(const AssemblyIdentity& assembly,
                                            const std::string& dllName) override {
    const auto found = inAssemblies.find(assembly.name + "/" + dllName);
    return found == inAssemblies.end() ? std::nullopt : std::optional<FoundFile>(found->second);
  }
};

}  // namespace velmaris::fakes
