#include "verdict_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "reference_rule.h"

namespace vrel::fleet {
namespace {

long Field(const std::string& line, const char* name) {
  const std::size_t at = line.find(std::string("\"") + name + "\":");
  return at == std::string::npos ? -1 : std::atol(line.c_str() + at + std::strlen(name) + 3);
}

}  // namespace

bool CheckVerdicts(const Fleet& fleet, std::size_t count, const std::vector<std::string>& lines) {
  ReferenceRule rule(kSharedAt);
  std::size_t agree = 0, truthSame = 0, sameVerdicts = 0;
  std::vector<long> truthOf(count + fleet.tokens.size() + 1, -1);  // machine id -> true machine
  for (std::size_t i = 0; i < fleet.tokens.size(); ++i) {
    const ReferenceRule::Answer want = rule.Enroll(fleet.tokens[i].second);
    const std::string& got = i < lines.size() ? lines[i] : std::string();
    const bool same = got.find("\"verdict\":\"same\"") != std::string::npos;
    if (same == want.same && Field(got, "machine") == want.machine &&
        Field(got, "matches") == want.matches) {
      ++agree;
    } else if (agree + 10 > i) {
      std::fprintf(stderr, "fleet: token %zu: expected %s %ld m%d, got %s\n", i + 1,
                   want.same ? "same" : "new", want.machine, want.matches, got.c_str());
    }
    if (i >= count) {  // a changed machine: did the rule name the machine it really is?
      sameVerdicts += want.same;
      truthSame += want.same && truthOf[static_cast<std::size_t>(want.machine)] ==
                                    static_cast<long>(fleet.tokens[i].first);
    } else {
      truthOf[static_cast<std::size_t>(want.machine)] = static_cast<long>(fleet.tokens[i].first);
    }
  }
  std::printf(
      "fleet: %zu machines, %zu tokens; agreement with every verdict: %zu of %zu (%.2f%%)\n", count,
      fleet.tokens.size(), agree, fleet.tokens.size(), 100.0 * agree / fleet.tokens.size());
  std::printf("fleet: of %zu later tokens, %zu found their machine (%zu named the machine it is)\n",
              fleet.tokens.size() - count, sameVerdicts, truthSame);
  return agree == fleet.tokens.size();
}

}  // namespace vrel::fleet
