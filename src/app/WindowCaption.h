#pragma once

namespace velmaris {

// The caption of the window frmQel, also the title of the boxes that report a failed event.
inline constexpr const char* kWindowCaption = "Diagnóstico de Compatibilidad de Velmaris";

}  // namespace velmaris
