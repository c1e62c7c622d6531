#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/ComponentFiles.h"

namespace velmaris {

// The folders the loader searches for a DLL named without a folder, after `firstFolder`: the
// system folder, the 16-bit system folder, the Windows folder, the current folder, then each
// folder of PATH. With LOAD_WITH_ALTERED_SEARCH_PATH the first is the loaded file's own folder;
// for a name alone it is this program's.
std::vector<std::wstring> LoaderFolders(const std::wstring& firstFolder);

// The first of `folders` that holds a file `name`; nullopt when none does.
std::optional<std::wstring> FindInFolders(const std::vector<std::wstring>& folders,
                                          const std::wstring& name);

// The folder of a path, without its last separator; empty for a name alone.
std::wstring FolderOf(const std::wstring& path);

// The files of a server that COM loads by its full path, found as the loader finds them. Reads
// files as data, with CreateFile and ReadFile, and never loads one.
class LoaderFiles final : public ComponentFiles {
 public:
  explicit LoaderFiles(const std::string& componentPath);

  std::optional<std::vector<uint8_t>> Read(const std::string& path, size_t limit) override;
  std::optional<FoundFile> Locate(const std::string& dllName) override;
  std::optional<FoundFile> LocateInAssembly(const AssemblyIdentity& assembly,
                                            const std::string& dllName) override;

 private:
  bool IsKnownDll(const std::wstring& name);

  std::wstring componentFolder_;
  std::wstring systemFolder_;
  std::vector<std::wstring> folders_;                   // read at the first search
  std::optional<std::vector<std::wstring>> knownDlls_;  // lower case, read at the first search
};

}  // namespace velmaris
