/* A component as one built against a runtime that was never installed: it imports a function of
   velmaris_absent.dll, which exists nowhere, so Windows cannot load it. */
__declspec(dllimport) int VelmarisAbsentFunction(void);

__declspec(dllexport) int QelNeedsAbsent(void) { return VelmarisAbsentFunction(); }
