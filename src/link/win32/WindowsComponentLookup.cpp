#include "link/win32/WindowsComponentLookup.h"

#include <windows.h>

#include "link/win32/ComponentReading.h"
#include "link/win32/LoaderFiles.h"

namespace velmaris {

ComponentRegistration WindowsComponentLookup::ReadRegistration() {
  return ReadComponentRegistration(progId_);
}

ComponentFile WindowsComponentLookup::ReadFile(const std::string& path) {
  return ReadComponentFile(path);
}

std::unique_ptr<ComponentFiles> WindowsComponentLookup::FilesOf(const std::string& serverPath) {
  return std::make_unique<LoaderFiles>(serverPath);
}

uint16_t WindowsComponentLookup::Machine() const {
#ifdef _WIN64
  return IMAGE_FILE_MACHINE_AMD64;
#else
  return IMAGE_FILE_MACHINE_I386;
#endif
}

}  // namespace velmaris
