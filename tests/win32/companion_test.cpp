// The companion, vorsk64.exe, on real device instances in Wine's 64-bit prefix, started as
// vorsk.exe starts it: beside the program that runs it, its report read from its standard
// output.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cleanup/companion.h"
#include "host/win32/win32_host.h"
#include "report/exit_status.h"
#include "tests/win32/win32_fixtures.h"

namespace vorsk {
namespace {

ProgramRun RunCompanion(const std::string& arguments) {
  Win32Host host;
  return host.RunProgramBeside(std::string(kCompanionProgram), arguments);
}

TEST(CompanionTest, RemovesEachInstanceItIsGivenAndReportsAnAbsentOneAsAbsent) {
  test::ScratchDevices scratch;
  const std::string first = scratch.Create({"USB\\Vid_04a9&Pid_2206&Rev_0100"});
  const std::string second = scratch.Create({});
  const std::string bystander = scratch.Create({"USB\\Vid_04a9&Pid_2206"});
  const std::string absent = "ROOT\\VORSKTEST\\9999";
  const std::vector<CompanionBatch> batches = CompanionBatches({first, absent, second});
  ASSERT_EQ(batches.size(), 1u);

  const ProgramRun run = RunCompanion(batches[0].arguments);

  ASSERT_EQ(run.start, ProgramRun::Start::Ran);
  EXPECT_EQ(run.exitCode, static_cast<std::uint32_t>(kExitCompleted));
  EXPECT_EQ(run.output,
            "removed " + first + "\r\nabsent " + absent + "\r\nremoved " + second + "\r\n");
  EXPECT_FALSE(test::InstanceExists(first));
  EXPECT_FALSE(test::InstanceExists(second));
  EXPECT_TRUE(test::InstanceExists(bystander));
}

// Started alone (double-clicked), or with anything but its own command line, it changes nothing
// and says nothing.
TEST(CompanionTest, AMalformedCommandLineChangesNothing) {
  test::ScratchDevices scratch;
  const std::string instance = scratch.Create({"USB\\Vid_04a9&Pid_2206"});
  const std::string quoted = "\"" + instance + "\"";
  for (const std::string& arguments :
       {std::string(), std::string("/remove"), "/list " + quoted, quoted,
        "/remove " + quoted + " \"not,an,id\"", "/remove " + quoted + " \"\""}) {
    SCOPED_TRACE(arguments);
    const ProgramRun run = RunCompanion(arguments);
    ASSERT_EQ(run.start, ProgramRun::Start::Ran);
    EXPECT_EQ(run.exitCode, static_cast<std::uint32_t>(kExitNothingRun));
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(test::InstanceExists(instance));
  }
}

}  // namespace
}  // namespace vorsk
