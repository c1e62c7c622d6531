#include "link/Manifest.h"

#include <cctype>
#include <string>

namespace velmaris {

namespace {

// Longer values than any assembly's name or version are cut here.
constexpr size_t kValueAtMost = 256;

// UTF-16LE without its mark, narrowed: what an assembly's identity holds is ASCII, and any other
// character shows as '?'.
std::string FromUtf16Le(std::string_view bytes) {
  std::string text;
  for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
    text += bytes[at + 1] == 0 && bytes[at] > 0 ? bytes[at] : '?';
  }
  return text;
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The name without its namespace prefix: "asmv1:assemblyIdentity" is "assemblyIdentity".
std::string_view LocalName(std::string_view name) {
  const size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Where the tag that opens at `open` ends (its '>'), quotes respected; npos when it never does.
size_t TagEnd(std::string_view text, size_t open) {
  char quote = 0;
  for (size_t at = open + 1; at < text.size(); ++at) {
    const char c = text[at];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return at;
    }
  }
  return std::string_view::npos;
}

const std::pair<std::string_view, std::string AssemblyIdentity::*> kIdentityAttributes[] = {
    {"name", &AssemblyIdentity::name},
    {"version", &AssemblyIdentity::version},
    {"processorArchitecture", &AssemblyIdentity::processorArchitecture},
    {"publicKeyToken", &AssemblyIdentity::publicKeyToken},
    {"language", &AssemblyIdentity::language},
    {"type", &AssemblyIdentity::type},
};

// The identity that the attributes of an assemblyIdentity tag give.
AssemblyIdentity Identity(std::string_view attributes) {
  AssemblyIdentity identity;
  size_t at = 0;
  while (at < attributes.size()) {
    while (at < attributes.size() && IsSpace(attributes[at])) ++at;
    const size_t nameStart = at;
    while (at < attributes.size() && attributes[at] != '=' && !IsSpace(attributes[at])) ++at;
    const std::string_view name = attributes.substr(nameStart, at - nameStart);
    while (at < attributes.size() && IsSpace(attributes[at])) ++at;
    if (at >= attributes.size() || attributes[at] != '=') {
      ++at;
      continue;
    }
    ++at;
    while (at < attributes.size() && IsSpace(attributes[at])) ++at;
    if (at >= attributes.size() || (attributes[at] != '"' && attributes[at] != '\'')) continue;
    const char quote = attributes[at++];
    const size_t end = attributes.find(quote, at);
    if (end == std::string_view::npos) break;
    for (const auto& [attribute, member] : kIdentityAttributes) {
      if (LocalName(name) == attribute) {
        identity.*member = attributes.substr(at, std::min(end - at, kValueAtMost));
      }
    }
    at = end + 1;
  }
  return identity;
}

std::vector<AssemblyIdentity> Assemblies(std::string_view text) {
  std::vector<AssemblyIdentity> assemblies;
  bool inDependency = false, inDependentAssembly = false, identityTaken = false;
  size_t at = 0;
  while (assemblies.size() < kManifestAssembliesAtMost) {
    const size_t open = text.find('<', at);
    if (open == std::string_view::npos) break;
    const std::string_view rest = text.substr(open);
    const auto skipPast = [&](std::string_view closing) {
      const size_t end = text.find(closing, open);
      return end == std::string_view::npos ? end : end + closing.size();
    };
    if (rest.substr(0, 4) == "<!--") {
      at = skipPast("-->");
    } else if (rest.substr(0, 9) == "<![CDATA[") {
      at = skipPast("]]>");
    } else {
      const size_t close = TagEnd(text, open);
      if (close == std::string_view::npos) break;
      std::string_view tag = text.substr(open + 1, close - open - 1);
      at = close + 1;
      const bool closing = !tag.empty() && tag[0] == '/';
      if (closing) tag.remove_prefix(1);
      const bool selfClosing = !tag.empty() && tag.back() == '/';
      if (selfClosing) tag.remove_suffix(1);
      size_t nameEnd = 0;
      while (nameEnd < tag.size() && !IsSpace(tag[nameEnd])) ++nameEnd;
      const std::string_view name = LocalName(tag.substr(0, nameEnd));
      if (name == "dependency") {
        inDependency = !closing && !selfClosing;
        inDependentAssembly = false;
      } else if (name == "dependentAssembly") {
        inDependentAssembly = inDependency && !closing && !selfClosing;
        identityTaken = false;
      } else if (name == "assemblyIdentity" && !closing && inDependentAssembly && !identityTaken) {
        identityTaken = true;
        AssemblyIdentity identity = Identity(tag.substr(nameEnd));
        if (!identity.name.empty()) assemblies.push_back(std::move(identity));
      }
    }
    if (at == std::string_view::npos) break;
  }
  return assemblies;
}

}  // namespace

std::vector<AssemblyIdentity> DependentAssemblies(std::string_view manifest) {
  if (manifest.substr(0, 2) == "\xFF\xFE") return Assemblies(FromUtf16Le(manifest.substr(2)));
  if (manifest.substr(0, 3) == "\xEF\xBB\xBF") manifest.remove_prefix(3);
  return Assemblies(manifest);
}

}  // namespace velmaris
