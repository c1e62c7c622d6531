#pragma once

#include <string>
#include <utility>

#include "common/Failure.h"
#include "link/ComponentFacts.h"

namespace velmaris {

// A failure of the acquisition component: it could not be created, or one of its calls failed.
// Shown as any Failure is; the facts (the HRESULT, Windows' message, the operation) stay with it
// for the report.
class ComponentFault : public Failure {
 public:
  ComponentFault(std::string source, std::string description, ComponentFailure facts)
      : Failure(std::move(source), std::move(description)), facts_(std::move(facts)) {}

  const ComponentFailure& facts() const { return facts_; }

 private:
  ComponentFailure facts_;
};

// The facts of a failure of the tool's own rather than the component's (the report pane, say):
// the report gives them without a cause.
inline ComponentFailure ToolFailure(std::string description) {
  return {ComponentFailure::Stage::Tool, 0, std::move(description), ""};
}

}  // namespace velmaris
