#pragma once

// The program's name, its window's caption and class, and its icon: one home for the code and the
// resource file, which sees only the macros.
#define VELMARIS_PROGRAM_NAME "VelmarisDiag"
#define VELMARIS_WINDOW_CAPTION "Diagnóstico de Compatibilidad de Velmaris"
#define VELMARIS_WINDOW_CLASS VELMARIS_PROGRAM_NAME ".frmQel"
#define VELMARIS_ICON_ID 1

#ifndef RC_INVOKED
namespace velmaris {

inline constexpr const char* kProgramName = VELMARIS_PROGRAM_NAME;
// The caption of the window frmQel, also the title of the boxes that report a failed event.
inline constexpr const char* kWindowCaption = VELMARIS_WINDOW_CAPTION;
inline constexpr const wchar_t* kWindowClass = L"" VELMARIS_WINDOW_CLASS;
inline constexpr int kIconId = VELMARIS_ICON_ID;

}  // namespace velmaris
#endif
