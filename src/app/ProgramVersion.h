#pragma once

// The program's version, shared by the code and the version resource.
#define VELMARIS_VERSION_MAJOR 2
#define VELMARIS_VERSION_MINOR 3
#define VELMARIS_VERSION_REVISION 0
#define VELMARIS_VERSION_TEXT "2.03"
