#include "diagnosis/SectionList.h"

#include <algorithm>
#include <utility>

#include "diagnosis/WindowsWords.h"

namespace velmaris {

namespace {

bool SameReading(const UnreadFact& a, const UnreadFact& b) {
  return a.fact == b.fact && a.cause == b.cause && a.code == b.code &&
         a.description == b.description;
}

}  // namespace

Lines ListLines(const SectionList& list) {
  Lines lines = {list.heading};
  const size_t listed = std::min(list.entries, kListedAtMost);
  for (size_t i = 0; i < listed; ++i) list.addEntry(lines, i);
  if (list.entries > listed) lines.push_back(list.more(listed));
  if (list.entries == 0 && list.unread.empty()) lines.push_back("* Ninguno.");
  lines.insert(lines.end(), list.unread.begin(), list.unread.end());
  return lines;
}

Lines UnreadListLines(const std::vector<UnreadFact>& unread,
                      std::initializer_list<DeviceFact> facts) {
  std::vector<std::pair<const UnreadFact*, size_t>> distinct;
  for (const UnreadFact& fact : unread) {
    if (std::find(facts.begin(), facts.end(), fact.fact) == facts.end()) continue;
    auto same = std::find_if(distinct.begin(), distinct.end(),
                             [&](const auto& known) { return SameReading(*known.first, fact); });
    if (same == distinct.end()) {
      distinct.push_back({&fact, 1});
    } else {
      ++same->second;
    }
  }
  Lines lines;
  for (const auto& [fact, times] : distinct) {
    lines.push_back("* " + WhatWasNotRead(fact->fact, times) + ":");
    lines.push_back(Sentence("  " + Why(*fact)));
  }
  return lines;
}

void AddUnreadValues(Lines& lines, const std::vector<UnreadFact>& unread) {
  for (const UnreadFact& fact : unread) {
    lines.push_back(
        Sentence("  No se pudo leer " + std::string(WhatOfIt(fact.fact)) + ": " + Why(fact)));
  }
}

}  // namespace velmaris
