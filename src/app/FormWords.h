#pragma once

#include <string>

namespace velmaris {

// The words of the window's own handlers: the report's head that the load writes, and what a
// failure shows.
inline constexpr const char* kReportTitle = "INFORME DE DIAGNÓSTICO DE VELMARIS";
inline constexpr const char* kReportRule = "=====================================";
inline constexpr const char* kErrorTitle = "Error";
// The description of a failure that carries no text of its own.
inline constexpr const char* kUnknownFailure = "Error inesperado";

// "Herramienta de Diagnóstico Version: " and the program's major.minor version.
std::string VersionLine();

// Follows the failing source's name in the box of a load that fails.
std::string InstallAdvice();

// The box text of a failure: its description, then its source on a line of its own.
std::string FailureMessage(const std::string& source, const std::string& description);

}  // namespace velmaris
