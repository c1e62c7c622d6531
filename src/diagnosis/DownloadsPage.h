#pragma once

// The maker's software downloads page, named in the driver advice when no unit is found.
// A build may point it elsewhere: cmake -DVELMARIS_DOWNLOADS_URL=...
#ifndef VELMARIS_DOWNLOADS_URL
#define VELMARIS_DOWNLOADS_URL "http://www.velmaris.com.ar/descargas.html"
#endif

namespace velmaris {

inline constexpr const char* kDownloadsPage = VELMARIS_DOWNLOADS_URL;

}  // namespace velmaris
