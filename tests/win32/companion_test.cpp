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

// The companion beside the tests, as the one built with them that the host may start.
void KnowTheCompanion(Win32Host& host) {
  const std::string name(kCompanionProgram);
  host.SetBuiltCompanions(
      {{name, win32::ImageDigestOfFile(win32::OwnFolder() + L"\\" +
                                       std::wstring(name.begin(), name.end()))}});
}

// Started as vorsk.exe starts it.
ProgramRun RunCompanion(const std::string& arguments) {
  Win32Host host;
  KnowTheCompanion(host);
  return host.RunProgramBeside(std::string(kCompanionProgram), arguments, CompanionWaitMs(1));
}

TEST(CompanionTest, RemovesEachInstanceItIsGivenAndReportsAnAbsentOneAsAbsent) {
  test::ScratchDevices scratch;
  const std::string first = scratch.Create({"USB\\Vid_0000&Pid_2206&Rev_0100"});
  const std::string second = scratch.Create({});
  const std::string bystander = scratch.Create({"USB\\Vid_0000&Pid_2206"});
  const std::string absent = "ROOT\\VORSKTEST\\9999";
  const std::vector<CompanionTask> tasks = RemovalTasks({first, absent, second});
  ASSERT_EQ(tasks.size(), 1u);

  const ProgramRun run = RunCompanion(TaskArguments(tasks[0]));

  ASSERT_EQ(run.start, ProgramRun::Start::Ran);
  EXPECT_EQ(run.exitCode, static_cast<std::uint32_t>(kExitCompleted));
  EXPECT_EQ(run.output,
            "removed " + first + "\r\nabsent " + absent + "\r\nremoved " + second + "\r\n");
  EXPECT_FALSE(test::InstanceExists(first));
  EXPECT_FALSE(test::InstanceExists(second));
  EXPECT_TRUE(test::InstanceExists(bystander));
}

// Started with /tasks it takes one task after another on its standard input, as vorsk.exe hands
// them over a run: each answered with its reports and the line that ends it, names outside ASCII
// reaching the platform's calls whole; it ends with the tasks' status together once its input
// ends.
TEST(CompanionTest, TakesItsTasksOnItsStandardInputOneAfterAnother) {
  test::ScratchDevices scratch;
  const std::string first = scratch.Create({"USB\\Vid_0000&Pid_2206&Rev_0100"});
  const std::string second = scratch.Create({});
  // No INF of this name was ever published: the platform's uninstall fails on it.
  const std::string name = "vorsk-t\xC3\xA9st-" + std::to_string(::GetCurrentProcessId()) + ".inf";
  Win32Host host;
  KnowTheCompanion(host);
  ProgramSession session = kNoSession;
  ASSERT_EQ(host.StartProgramBeside(std::string(kCompanionProgram), "/tasks", &session).start,
            ProgramRun::Start::Ran);

  const ProgramAnswer removed = host.HandProgramTask(
      session, FormatTask({CompanionTask::Kind::Remove, {first}}) + "\r\n", 60000, AnswersTask);
  EXPECT_TRUE(removed.answered);
  EXPECT_EQ(removed.output, "removed " + first + "\r\ndone 0\r\n");
  EXPECT_FALSE(test::InstanceExists(first));
  EXPECT_TRUE(test::InstanceExists(second));

  const ProgramAnswer uninstalled = host.HandProgramTask(
      session, FormatTask({CompanionTask::Kind::Uninstall, {name}}) + "\r\n", 60000, AnswersTask);
  EXPECT_TRUE(uninstalled.answered);
  const std::optional<UninstallReport> report = MatchUninstallReport(name, uninstalled.output);
  ASSERT_TRUE(report) << uninstalled.output;
  EXPECT_NE(report->error, kErrorSuccess);
  EXPECT_NE(uninstalled.output.find("done 3\r\n"), std::string::npos);

  const ProgramAnswer again = host.HandProgramTask(
      session, FormatTask({CompanionTask::Kind::Remove, {second}}) + "\r\n", 60000, AnswersTask);
  EXPECT_EQ(again.output, "removed " + second + "\r\ndone 0\r\n");
  EXPECT_EQ(host.EndProgramSession(session, 60000), static_cast<std::uint32_t>(kExitLeft));
}

// A malformed task ends it at once, with status 1, answering nothing.
TEST(CompanionTest, AMalformedTaskEndsItWithoutAnAnswer) {
  Win32Host host;
  KnowTheCompanion(host);
  ProgramSession session = kNoSession;
  ASSERT_EQ(host.StartProgramBeside(std::string(kCompanionProgram), "/tasks", &session).start,
            ProgramRun::Start::Ran);

  const ProgramAnswer answer = host.HandProgramTask(session, "remove\r\n", 60000, AnswersTask);

  EXPECT_FALSE(answer.answered);
  EXPECT_TRUE(answer.ended);
  EXPECT_EQ(answer.exitCode, static_cast<std::uint32_t>(kExitNothingRun));
  EXPECT_EQ(answer.output, "");
  EXPECT_EQ(host.EndProgramSession(session, 0), static_cast<std::uint32_t>(kExitNothingRun));
}

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

// Started alone (double-clicked), or with anything but its own command line, it changes nothing
// and says nothing.
TEST(CompanionTest, AMalformedCommandLineChangesNothing) {
  test::ScratchDevices scratch;
  const std::string instance = scratch.Create({"USB\\Vid_0000&Pid_2206"});
  const std::string quoted = "\"" + instance + "\"";
  for (const std::string& arguments :
       {std::string(), std::string("/remove"), "/list " + quoted, quoted,
        "/remove " + quoted + " ROOT%0A0", "/remove " + quoted + " \"\"", "/tasks " + quoted,
        "/remove " + quoted + " \xC3\xA9"}) {
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
