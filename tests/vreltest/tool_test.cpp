// The tool's entry over streams of the caller's: output that cannot be
// written is a failure whatever the stream and whatever the command.
#include "vrel/vreltest/tool.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <vector>

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

}  // namespace
}  // namespace vrel
