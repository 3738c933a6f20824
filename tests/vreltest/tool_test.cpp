// The tool's entry over streams of the caller's: output that cannot be
// written is a failure whatever the stream and whatever the command; the
// rights it reports, as the system answers through the seam.
#include "vrel/vreltest/tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_machine.h"

namespace vrel {
namespace {

TEST(ToolTest, OutputThatCannotBeWrittenIsSaidOnceAndFails) {
  const std::vector<std::vector<const char*>> kRows = {
      {"vreltest"}, {"vreltest", "components"}, {"vreltest", "fingerprint", "--key", "k"},
      {"vreltest", "--help"}};
  for (const auto& args : kRows) {
    SCOPED_TRACE(args.back());
    std::ostream lost(nullptr);  // no buffer: every write fails, the system is never asked
    std::ostringstream err;
    EXPECT_EQ(RunVreltest(static_cast<int>(args.size()), args.data(), lost, err), 1);
    EXPECT_EQ(err.str(), "vreltest: cannot write the report: write error\n");
  }
}

TEST(ToolTest, ComponentsSayTheRightsTheSystemGives) {
#ifdef _WIN32
  const std::string full = "administrator";
#else
  const std::string full = "root";
#endif
  static BOOL answer[3];  // the rights call's result and flag, the WoW64 flag
  const std::string bits = std::to_string(sizeof(void*) * 8) + "-bit";
  const struct { BOOL answer[3]; std::string lines; } rows[] = {
      {{TRUE, TRUE, FALSE}, "rights: " + full + "\nprocess: " + bits + "\n"},
      {{TRUE, FALSE, TRUE}, "rights: not " + full + "\nprocess: " + bits + " under WoW64\n"},
      {{FALSE, TRUE, FALSE}, "rights: unknown\nprocess: " + bits + "\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.lines);
    std::copy(row.answer, row.answer + 3, answer);
    test::FakeMachine machine;
    machine.api.ProcessIsElevated = [](BOOL* flag) { return *flag = answer[1], answer[0]; };
    machine.api.CurrentProcessIsWow64 = [](BOOL* flag) { return *flag = answer[2], TRUE; };
    std::ostringstream out, err;
    const char* args[] = {"vreltest", "components"};
    EXPECT_EQ(RunVreltest(2, args, out, err), 0);
    const std::string text = out.str();
    EXPECT_EQ(text.substr(text.find("rights: ")), row.lines);
  }
}

}  // namespace
}  // namespace vrel
