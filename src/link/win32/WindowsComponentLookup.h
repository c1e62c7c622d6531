#pragma once

#include <memory>
#include <string>
#include <utility>

#include "link/ComponentLookup.h"
#include "link/win32/ComSupport.h"

namespace velmaris {

// The acquisition component as Windows sees it for this process, read from the registry and the
// files themselves (ComponentReading, LoaderFiles).
class WindowsComponentLookup final : public ComponentLookup {
 public:
  explicit WindowsComponentLookup(std::string progId = kControlProgId)
      : progId_(std::move(progId)) {}

  ComponentRegistration ReadRegistration() override;
  ComponentFile ReadFile(const std::string& path) override;
  std::unique_ptr<ComponentFiles> FilesOf(const std::string& serverPath) override;
  uint16_t Machine() const override;

 private:
  std::string progId_;
};

}  // namespace velmaris
