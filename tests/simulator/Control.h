#pragma once

#include <unknwn.h>
#include <windows.h>

namespace qelsim {

// {16A5E01E-273D-477B-9CF7-BACA07235591}, the simulated component's own class.
extern const CLSID kClsid;

// Counts live objects and server locks for DllCanUnloadNow.
extern LONG g_liveObjects;

// Creates a simulated control with the current scenario and hands out the interface asked for.
HRESULT CreateControl(REFIID iid, void** object);

// Appends one line to the call log named by QELSIM_LOG, if any.
void LogLine(const char* line);

}  // namespace qelsim
