#pragma once

namespace velmaris {

// The window's events, each named after the handler that answers it. The close box, Alt+F4 and
// "Salir" are one request to close: CloseRequest and cmdExit_Click. Form_Loaded comes right after
// the load event, once its message box, if any, is closed. PortCheck_Done comes when the port check
// that the end of a scan started has its results.
enum class FormEvent {
  Form_Load,
  Form_Loaded,
  Timer1_Timer,
  cmdReset_Click,
  cmdDetect_Click,
  cmdCopy_Click,
  cmdExit_Click,
  CloseRequest,
  PortCheck_Done,
};

}  // namespace velmaris
