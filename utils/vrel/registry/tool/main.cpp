// vrel-registry: stores a fleet's tokens and identifies new ones.
//   vrel-registry [--db URI] [--shared-at K] [--history N] enroll|identify [TOKEN...]
//   vrel-registry [--db URI] show ID | remove ID | stats | export | import
// Results are JSON Lines on standard output. Tokens from standard input are
// handled in groups: a group ends when no further line is waiting (so a
// client sending one line at a time gets each answer at once) or at
// kGroupSize tokens, and is committed in transactions of the storage's
// GroupLimit; results are printed only once their transaction is committed. A transaction that loses a race with another writer (on a
// server database) runs again. Exit 0, 2 (usage, unknown id, any bad line) or
// 3 (storage or output failure; wins over 2).
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "vrel/registry/registry.h"
#include "vrel/registry/report.h"

namespace {

using namespace vrel::registry;

constexpr std::size_t kGroupSize = 4096;
// A line longer than this is refused without being held whole.
constexpr std::size_t kMaxLine = vrel::kMaxTokenLength + 64;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const char kUsage[] =
    "usage: vrel-registry [--db URI] [--shared-at K] [--history N] "
    "enroll|identify [TOKEN...] | show ID | remove ID | stats | export | import";

long long Number(const std::string& text, long long least, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < least || text[0] == '+' ||
      text[0] == ' ') {
    throw UsageError(what + " must be an integer of at least " + std::to_string(least) +
                     ", not \"" + text + "\"");
  }
  return value;
}

// Lines of standard input, read in blocks; says whether more is waiting.
class LineReader {
 public:
  // False at the end. `overlong` when the line passed kMaxLine (its start is kept).
  bool Next(std::string& line, bool& overlong) {
    line.clear();
    overlong = false;
    for (;;) {
      const std::size_t newline = buffer_.find('\n', pos_);
      const std::size_t end = newline == std::string::npos ? buffer_.size() : newline;
      const std::size_t room = kMaxLine + 1 - std::min(line.size(), kMaxLine + 1);
      line.append(buffer_, pos_, std::min(end - pos_, room));
      if (newline != std::string::npos) {
        pos_ = newline + 1;
        break;
      }
      pos_ = buffer_.size();
      if (!Fill()) {
        if (line.empty() && !partial_) return false;
        break;
      }
      partial_ = true;
    }
    partial_ = false;
    overlong = line.size() > kMaxLine;
    return true;
  }
  // A whole line is buffered, or the input has more (or its end) ready now.
  bool Waiting() {
    if (eof_ || buffer_.find('\n', pos_) != std::string::npos) return true;
    pollfd fd{0, POLLIN, 0};
    return poll(&fd, 1, 0) > 0;
  }

 private:
  bool Fill() {
    if (eof_) return false;
    buffer_.erase(0, pos_);
    pos_ = 0;
    char block[65536];
    for (;;) {
      const ssize_t n = read(0, block, sizeof block);
      if (n > 0) {
        buffer_.append(block, static_cast<std::size_t>(n));
        return true;
      }
      if (n < 0 && errno == EINTR) continue;
      eof_ = true;
      return false;
    }
  }
  std::string buffer_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  bool partial_ = false;
};

void Print(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (std::fputs(line.c_str(), stdout) < 0 || std::fputc('\n', stdout) == EOF) break;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw OutputError("cannot write the results");
}

void Print(const std::string& line) { Print(std::vector<std::string>(1, line)); }

// Why a line is not a token, or nothing.
std::optional<std::string> Refusal(const std::string& line, bool overlong,
                                   vrel::ParsedToken& parsed) {
  if (overlong)
    return "the line is longer than any token (" + std::to_string(vrel::kMaxTokenLength) +
           " characters)";
  for (unsigned char c : line) {
    if (c == 0 || c >= 0x80 || (c < 0x20 && c != '\t' && c != '\r'))
      return std::string("the line is not text");
  }
  parsed = vrel::ParseToken(line);
  if (!parsed.ok) return parsed.error;
  return std::nullopt;
}

bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r\v\f") == std::string::npos;
}

struct Options {
  std::string uri;
  RegistryOptions registry;
  std::string command;
  std::vector<std::string> operands;
};

Options ParseArguments(int argc, char** argv) {
  Options options;
  const char* env = std::getenv("VREL_REGISTRY_DB");
  options.uri = env != nullptr && *env != '\0' ? env : "sqlite:vrel-registry.db";
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0 || arg == "--") {
      if (arg == "--") ++i;
      break;
    }
    std::string value;
    const std::size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
    } else if (arg == "--db" || arg == "--shared-at" || arg == "--history") {
      if (i + 1 == argc) throw UsageError(arg + " needs a value");
      value = argv[++i];
    }
    if (arg == "--db") {
      if (value.empty()) throw UsageError("--db needs a URI");
      options.uri = value;
    } else if (arg == "--shared-at") {
      options.registry.sharedAt = static_cast<std::size_t>(Number(value, 2, "--shared-at"));
    } else if (arg == "--history") {
      options.registry.history = static_cast<std::size_t>(Number(value, 1, "--history"));
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  if (i == argc) throw UsageError(std::string("no command given; ") + kUsage);
  options.command = argv[i++];
  options.operands.assign(argv + i, argv + argc);
  const bool tokens = options.command == "enroll" || options.command == "identify";
  const bool id = options.command == "show" || options.command == "remove";
  const bool whole =
      options.command == "stats" || options.command == "export" || options.command == "import";
  if (!tokens && !id && !whole) throw UsageError("unknown command " + options.command);
  if (id && options.operands.size() != 1)
    throw UsageError(options.command + " takes one machine id");
  if (whole && !options.operands.empty()) throw UsageError(options.command + " takes no operand");
  return options;
}

// enroll / identify: returns whether every line was a token. A group's lines
// are read before its transaction starts, so no lock is held while waiting
// for input.
bool HandleTokens(const Options& options, Registry& registry) {
  const bool enroll = options.command == "enroll";
  const bool fromArgs = !options.operands.empty();
  LineReader reader;
  std::size_t next = 0;
  long line = 0;
  bool allGood = true;
  for (bool more = true; more;) {
    struct Line {
      long number;
      std::string text;
      bool overlong;
    };
    std::vector<Line> group;
    std::size_t tokens = 0;
    while (tokens < kGroupSize && (group.empty() || fromArgs || reader.Waiting())) {
      Line item{++line, {}, false};
      if (fromArgs ? next == options.operands.size() : !reader.Next(item.text, item.overlong)) {
        more = false;
        break;
      }
      if (fromArgs) item.text = options.operands[next++];
      if (!fromArgs && !item.overlong && IsBlank(item.text)) continue;
      group.push_back(std::move(item));
      ++tokens;
    }
    if (group.empty()) break;
    // The storage's share of the group per transaction, each printed once committed.
    const std::size_t share = enroll ? registry.storage().GroupLimit() : group.size();
    for (std::size_t first = 0; first < group.size(); first += share) {
      const std::size_t last = std::min(group.size(), first + share);
      std::vector<std::string> results;
      RunTransaction(registry.storage(), enroll, [&] {
        results.clear();
        const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
        for (std::size_t i = first; i < last; ++i) {
          const Line& item = group[i];
          vrel::ParsedToken parsed;
          if (const auto refusal = Refusal(item.text, item.overlong, parsed)) {
            allGood = false;
            results.push_back(LineErrorJson(item.number, *refusal));
            continue;
          }
          const Verdict verdict = enroll ? registry.Enroll(parsed.fingerprint, now)
                                         : registry.Identify(parsed.fingerprint);
          results.push_back(VerdictJson(verdict, enroll, item.number));
        }
      });
      Print(results);
    }
  }
  return allGood;
}

// export: every machine with its history, lowest id first, from one snapshot.
void Export(Storage& storage) {
  Transaction transaction(storage, false);
  for (MachineId after = 0;;) {
    const std::vector<MachineId> ids = storage.MachinesAfter(after, 1000);
    if (ids.empty()) break;
    std::vector<std::string> lines;
    for (MachineId id : ids) {
      if (const auto record = storage.Show(id)) lines.push_back(ExportJson(*record));
    }
    Print(lines);
    after = ids.back();
  }
  transaction.Commit();
}

// import: an export's lines from standard input, committed in groups; then
// one summary line. Returns whether every line was a machine.
bool Import(Storage& storage) {
  LineReader reader;
  long line = 0, imported = 0;
  bool allGood = true, more = true;
  while (more) {
    std::vector<MachineRecord> group;
    std::string text;
    bool overlong = false;
    while (group.size() < 1000 && (more = reader.Next(text, overlong))) {
      ++line;
      if (IsBlank(text)) continue;
      MachineRecord record;
      std::string problem;
      if (overlong || !ParseExportJson(text, record, problem)) {
        allGood = false;
        Print(LineErrorJson(line, overlong ? "the line is too long for a machine" : problem));
        continue;
      }
      group.push_back(std::move(record));
    }
    RunTransaction(storage, true, [&] {
      for (const MachineRecord& record : group) storage.Import(record);
    });
    imported += static_cast<long>(group.size());
  }
  Print("{\"schema\":1,\"imported\":" + std::to_string(imported) + "}");
  return allGood;
}

int Run(int argc, char** argv) {
  const Options options = ParseArguments(argc, argv);
  const bool writes = options.command == "enroll" || options.command == "remove";
  std::optional<MachineId> id;
  if (!options.operands.empty() && (options.command == "show" || options.command == "remove")) {
    id = Number(options.operands[0], 1, "a machine id");
  }
  auto storage =
      OpenStorage(options.uri, options.command == "enroll" || options.command == "import");
  Registry registry(*storage, options.registry);
  if (options.command == "enroll" || options.command == "identify") {
    return HandleTokens(options, registry) ? 0 : 2;
  }
  if (options.command == "export") {
    Export(*storage);
    return 0;
  }
  if (options.command == "import") return Import(*storage) ? 0 : 2;
  std::string result;
  bool known = true;
  RunTransaction(*storage, writes, [&] {
    if (options.command == "stats") {
      result = StatsJson(storage->MachineCount(), storage->Shared(options.registry.sharedAt));
      return;
    }
    const auto record = storage->Show(*id);
    known = record.has_value();
    if (!known) return;
    if (options.command == "remove") storage->Remove(*id);
    result = options.command == "remove" ? RemovedJson(*record) : MachineJson(*record);
  });
  if (!known) {
    std::fprintf(stderr, "vrel-registry: no machine %lld\n", static_cast<long long>(*id));
    return 2;
  }
  Print(result);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a closed output is an error to report, not a signal
  try {
    return Run(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "vrel-registry: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vrel-registry: %s\n", e.what());
    return 3;
  }
}
