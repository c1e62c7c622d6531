#pragma once

namespace velmaris {

// The line that ends advice to act on the PC before another try: the verdict's and the
// renumbering steps'.
inline constexpr const char* kRunAgain = "Luego vuelve a ejecutar este diagnóstico.";

}  // namespace velmaris
