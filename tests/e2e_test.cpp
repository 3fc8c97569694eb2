// End-to-end tests: the real executable, run in a scratch folder, compared
// byte for byte on standard output, standard error, written files and status.
#include <gtest/gtest.h>

#include "d88_builder.h"
#include "run_tool.h"

using namespace d88test;

TEST(CommandLine, NoArgumentPrintsUsage) {
  ScratchDir dir;
  const ToolRun run = RunTool(dir.path(), {}, "d88unpack");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Usage: d88unpack [d88file]\n");
}
