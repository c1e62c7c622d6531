#pragma once

namespace velmaris {

// The line that ends advice to act on the PC before another try: the verdict's, the
// renumbering steps' and the acquisition component's causes'.
inline constexpr const char* kRunAgain = "Luego vuelve a ejecutar este diagnóstico.";

}  // namespace velmaris
