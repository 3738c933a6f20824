#include "vrel/registry/tool/token_batches.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <optional>

#include "vrel/registry/report.h"
#include "vrel/registry/tool/line_reader.h"
#include "vrel/registry/tool/output.h"

namespace vrel::registry {
namespace {

// A line longer than this is refused without being held whole.
constexpr std::size_t kMaxLine = kMaxTokenLength + 64;

// One input line: its token, or why it is not one.
struct Item {
  long line = 0;
  std::optional<Fingerprint> token;
  std::string refusal;
};

Item Check(long number, const std::string& line, bool overlong) {
  Item item{number, std::nullopt, {}};
  if (overlong) {
    item.refusal =
        "the line is longer than any token (" + std::to_string(kMaxTokenLength) + " characters)";
    return item;
  }
  for (unsigned char c : line) {
    if (c == 0 || c >= 0x80 || (c < 0x20 && c != '\t' && c != '\r')) {
      item.refusal = "the line is not text";
      return item;
    }
  }
  ParsedToken parsed = ParseToken(line);
  if (parsed.ok) {
    item.token = std::move(parsed.fingerprint);
  } else {
    item.refusal = std::move(parsed.error);
  }
  return item;
}

// The next group of lines: the operands at once, or what standard input has ready.
class Groups {
 public:
  explicit Groups(const std::vector<std::string>& operands)
      : operands_(operands), reader_(kMaxLine) {}

  std::vector<Item> Next() {
    std::vector<Item> group;
    const bool fromArgs = !operands_.empty();
    while (more_ && group.size() < kGroupSize && (group.empty() || fromArgs || reader_.Waiting())) {
      std::string text;
      bool overlong = false;
      ++line_;
      if (fromArgs) {
        more_ = next_ < operands_.size();
        if (more_) text = operands_[next_++];
      } else {
        more_ = reader_.Next(text, overlong);
        if (more_ && !overlong && IsBlank(text)) continue;
      }
      if (more_) group.push_back(Check(line_, text, overlong));
    }
    return group;
  }

 private:
  const std::vector<std::string>& operands_;
  LineReader reader_;
  std::size_t next_ = 0;
  long line_ = 0;
  bool more_ = true;
};

}  // namespace

TokenRun RunTokens(const ToolOptions& options, Registry& registry, bool write,
                   const TokenWork& each) {
  Groups groups(options.operands);
  TokenRun run;
  for (std::vector<Item> group; !(group = groups.Next()).empty();) {
    run.allTokens = run.allTokens && std::all_of(group.begin(), group.end(), [](const Item& item) {
                      return item.token.has_value();
                    });
    const std::size_t share = write ? registry.storage().capabilities().writeGroup : group.size();
    for (std::size_t first = 0; first < group.size(); first += share) {
      const std::size_t last = std::min(group.size(), first + share);
      std::vector<std::string> results;
      bool refused = false;
      RunTransaction(registry.storage(), write, [&] {
        results.clear();
        refused = false;
        const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
        for (std::size_t i = first; i < last; ++i) {
          const Item& item = group[i];
          if (!item.token) {
            results.push_back(LineErrorJson(item.line, item.refusal));
          } else {
            TokenResult result = each(*item.token, item.line, now);
            results.push_back(std::move(result.json));
            refused = refused || result.refused;
          }
        }
      });
      Print(results);
      run.anyRefused = run.anyRefused || refused;
    }
  }
  return run;
}

bool RunTokens(const ToolOptions& options, Registry& registry, bool enroll) {
  return RunTokens(options, registry, enroll,
                   [&](const Fingerprint& token, long line, std::int64_t now) {
                     const Verdict verdict =
                         enroll ? registry.Enroll(token, now) : registry.Identify(token);
                     return TokenResult{VerdictJson(verdict, enroll, line)};
                   })
      .allTokens;
}

}  // namespace vrel::registry
