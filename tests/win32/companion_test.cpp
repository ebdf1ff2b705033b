// The companion, vorsk64.exe, on real device instances in Wine's 64-bit prefix, started as
// vorsk.exe starts it: beside the program that runs it, its report read from its standard
// output.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "companion/removal_by_id.h"
#include "host/win32/companion_check.h"
#include "host/win32/program_runner.h"
#include "host/win32/win32_host.h"
#include "report/exit_status.h"
#include "tests/win32/win32_fixtures.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace vorsk {
namespace {

// Started as vorsk.exe starts it: the companion beside the tests is the one built with them.
ProgramRun RunCompanion(const std::string& arguments) {
  Win32Host host;
  const std::string name(kCompanionProgram);
  host.SetBuiltCompanions(
      {{name, win32::ImageDigestOfFile(win32::OwnFolder() + L"\\" +
                                       std::wstring(name.begin(), name.end()))}});
  return host.RunProgramBeside(std::string(kCompanionProgram), arguments, CompanionWaitMs(1));
}

TEST(CompanionTest, RemovesEachInstanceItIsGivenAndReportsAnAbsentOneAsAbsent) {
  test::ScratchDevices scratch;
  const std::string first = scratch.Create({"USB\\Vid_0000&Pid_2206&Rev_0100"});
  const std::string second = scratch.Create({});
  const std::string bystander = scratch.Create({"USB\\Vid_0000&Pid_2206"});
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
// The companion splits its command line itself: exactly as the platform's own splitter does, on
// the shapes that quoting instance IDs gives and on stray ones.
TEST(CompanionTest, ItsCommandLineIsSplitAsThePlatformSplitsIt) {
  const std::string lines[] = {
      R"(vorsk64.exe /x "USB\VID_0000&PID_2206\5&2B1C3A7&0&1" "ROOT\IMAGE\0000")",
      R"("C:\Program Files\vorsk\vorsk64.exe" /x "A\\" "B\"C" D\\\"E)",
      "\"C:\\vorsk\\vorsk64.exe\"/x\t  \"a b\"\t\"\"  c\\\\d \\\\\\\\\"e f\"",
      R"(vorsk64.exe)",
      R"("vorsk64.exe" "unterminated \" quote)",
      R"(vorsk64.exe "a""b c" """" d "e\\""f")",
  };

  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    int count = 0;
    const std::wstring wide(line.begin(), line.end());
    LPWSTR* argv = ::CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_NE(argv, nullptr);
    std::vector<std::string> expected;
    for (int index = 1; index < count; ++index) {
      const std::wstring argument(argv[index]);
      expected.emplace_back(argument.begin(), argument.end());
    }
    ::LocalFree(argv);
    EXPECT_EQ(SplitCommandArguments(ArgumentsAfterProgramName(line)), expected);
  }
}

TEST(CompanionTest, AMalformedCommandLineChangesNothing) {
  test::ScratchDevices scratch;
  const std::string instance = scratch.Create({"USB\\Vid_0000&Pid_2206"});
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
