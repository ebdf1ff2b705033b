#include "host/win32/program_runner.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <vector>

#include "host/win32/win32_handles.h"
#include "text/text.h"

namespace vorsk::win32 {

namespace {

// Text of the program's name and arguments, which are ASCII, as wide characters.
std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

ProgramRun NotStarted(ProgramRun::Start start, DWORD error) {
  ProgramRun run;
  run.start = start;
  run.error = error;
  return run;
}

// A job that ends every process in it when its last handle closes: when this process ends, for
// whatever reason, the program it started ends too.
unique_handle CreateKillOnCloseJob() {
  unique_handle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job) {
    return job;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof(limits))) {
    job.reset();
  }
  return job;
}

// The status of a program ended for running out of its time: the platform's "timed out".
constexpr DWORD kTimedOut = kErrorTimeout;

// Appends what the pipe holds now, without waiting for more; false once it is broken (its writing
// end closed) or cannot be read.
bool ReadAvailable(HANDLE pipe, std::string& output) {
  DWORD available = 0;
  while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
    if (available == 0) {
      return true;
    }
    std::vector<char> chunk(available);
    DWORD read = 0;
    if (!::ReadFile(pipe, chunk.data(), available, &read, nullptr)) {
      return false;
    }
    output.append(chunk.data(), read);
  }
  return false;
}

enum class Reading { Answered, Ended, TimedOut };

// Reads the program's output while it runs, up to `timeoutMs`, until `answered` (when given) says
// that what came is whole, or the program ends; when the time runs out, ends its job (the program
// and whatever it started), or the program alone where it has no job.
Reading ReadUntilEnd(HANDLE process, HANDLE job, HANDLE pipe, std::uint32_t timeoutMs,
                     std::string& output,
                     const std::function<bool(std::string_view)>& answered = nullptr) {
  // The tick count wraps after 49 days; the difference of two counts does not.
  const DWORD start = ::GetTickCount();
  for (;;) {
    const bool open = ReadAvailable(pipe, output);
    if (answered && answered(output)) {
      return Reading::Answered;
    }
    const DWORD elapsed = ::GetTickCount() - start;
    const DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    // Short waits while the pipe is open: its output is taken as it comes, so that a program that
    // fills the pipe's buffer never waits on this one, and an answer is read soon after it comes
    // (one millisecond at first, ten once the program has worked for a while).
    const DWORD poll = elapsed < 100 ? 1 : 10;
    if (::WaitForSingleObject(process, open ? (left < poll ? left : poll) : left) ==
        WAIT_OBJECT_0) {
      ReadAvailable(pipe, output);
      return answered && answered(output) ? Reading::Answered : Reading::Ended;
    }
    if (elapsed >= timeoutMs) {
      if (job != nullptr) {
        ::TerminateJobObject(job, kTimedOut);
      } else {
        ::TerminateProcess(process, kTimedOut);
      }
      ::WaitForSingleObject(process, 10000);
      ReadAvailable(pipe, output);
      return Reading::TimedOut;
    }
  }
}

using InitializeListCall = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, PSIZE_T);
using UpdateListCall = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, PVOID, SIZE_T,
                                     PVOID, PSIZE_T);
using DeleteListCall = VOID(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST);

template <typename Call>
Call Kernel32Call(const char* name) {
  return reinterpret_cast<Call>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

// The attribute list that names the handles a started program inherits (its pipes' ends): from
// Vista on, where the platform has one. Empty before: there, every inheritable handle of this
// process is inherited, and the pipes' ends it hands on are the only ones vorsk makes.
class InheritedHandles {
 public:
  explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    const auto initialize = Kernel32Call<InitializeListCall>("InitializeProcThreadAttributeList");
    const auto update = Kernel32Call<UpdateListCall>("UpdateProcThreadAttribute");
    delete_ = Kernel32Call<DeleteListCall>("DeleteProcThreadAttributeList");
    if (initialize == nullptr || update == nullptr || delete_ == nullptr) {
      return;
    }
    SIZE_T size = 0;
    initialize(nullptr, 1, 0, &size);
    buffer_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (size == 0 || !initialize(list, 1, 0, &size)) {
      buffer_.clear();
      return;
    }
    if (!update(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      delete_(list);
      buffer_.clear();
    }
  }
  ~InheritedHandles() {
    if (!buffer_.empty()) {
      delete_(list());
    }
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;

  // The list, null when the platform has none.
  LPPROC_THREAD_ATTRIBUTE_LIST list() {
    return buffer_.empty() ? nullptr
                           : reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
  }

 private:
  std::vector<HANDLE> handles_;
  DeleteListCall delete_ = nullptr;
  std::vector<unsigned char> buffer_;
};

}  // namespace

std::wstring OwnFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return std::wstring();
    }
    if (length < path.size()) {
      const std::wstring whole(path.data(), length);
      const std::size_t separator = whole.find_last_of(L"\\/");
      return separator == std::wstring::npos ? std::wstring() : whole.substr(0, separator);
    }
    // Cut to the buffer: ask again with a larger one, up to the longest path there is.
    if (path.size() >= 32768) {
      return std::wstring();
    }
    path.resize(path.size() * 2);
  }
}

namespace {

// Starts `program` from this program's folder with its standard output on a pipe, and with
// `withInput` its standard input on another: the program's ends of them are the only handles it
// inherits. Ran, with the program running in a job of its own (where one can be had), or why not.
ProgramRun StartBeside(const std::string& program, const std::string& arguments, bool withInput,
                       const BuiltCompanions& companions, BesideProgram& started) {
  const std::wstring folder = OwnFolder();
  if (folder.empty()) {
    return NotStarted(ProgramRun::Start::Failed, ::GetLastError());
  }
  const std::wstring path = folder + L"\\" + Widen(program);
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return NotStarted(ProgramRun::Start::Missing, attributes == INVALID_FILE_ATTRIBUTES
                                                      ? ::GetLastError()
                                                      : DWORD{ERROR_FILE_NOT_FOUND});
  }
  // The program built with this one, held so that nobody may change or replace its file until it
  // has started (and until it ends).
  const auto built = std::find_if(companions.begin(), companions.end(), [&](const auto& known) {
    return EqualAsciiFolded(known.name, program);
  });
  const CompanionCheck check =
      OpenBuiltCompanion(path, built != companions.end() ? built->digest : std::string());
  switch (check.outcome) {
    case CompanionCheck::Outcome::Checked:
      break;
    case CompanionCheck::Outcome::Missing:
      return NotStarted(ProgramRun::Start::Missing, check.error);
    case CompanionCheck::Outcome::Different:
      return NotStarted(ProgramRun::Start::Different, check.error);
    case CompanionCheck::Outcome::Unopened:
      return NotStarted(ProgramRun::Start::Failed, check.error);
  }

  // The program's standard output is the writing end of a pipe, and its standard input, when it
  // has one, the reading end of another; it has no standard error.
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  unique_handle writing;
  unique_handle inputReading;
  if (!::CreatePipe(started.output.put(), writing.put(), &inheritable, 64 * 1024) ||
      !::SetHandleInformation(started.output.get(), HANDLE_FLAG_INHERIT, 0) ||
      (withInput &&
       (!::CreatePipe(inputReading.put(), started.input.put(), &inheritable, 64 * 1024) ||
        !::SetHandleInformation(started.input.get(), HANDLE_FLAG_INHERIT, 0)))) {
    return NotStarted(ProgramRun::Start::Failed, ::GetLastError());
  }
  std::vector<HANDLE> handed = {writing.get()};
  if (withInput) {
    handed.push_back(inputReading.get());
  }
  InheritedHandles inherited(handed);
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = inherited.list() != nullptr ? sizeof(startup) : sizeof(STARTUPINFOW);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdOutput = writing.get();
  startup.StartupInfo.hStdInput = inputReading.get();
  startup.lpAttributeList = inherited.list();

  std::wstring commandLine = L"\"" + path + L"\" " + Widen(arguments);
  PROCESS_INFORMATION process = {};
  const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW |
                      (inherited.list() != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);
  if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup.StartupInfo, &process)) {
    return NotStarted(ProgramRun::Start::Failed, ::GetLastError());
  }
  started.process.reset(process.hProcess);
  unique_handle thread(process.hThread);
  // Where this process may not start a job of its own (an older platform, inside a job that
  // forbids it), the program runs without one: it still ends on its own once its work is done.
  started.job = CreateKillOnCloseJob();
  if (started.job && !::AssignProcessToJobObject(started.job.get(), started.process.get())) {
    started.job.reset();
  }
  ::ResumeThread(thread.get());
  // Only the program holds its ends of the pipes now: each pipe ends when the program does.
  ProgramRun run;
  run.start = ProgramRun::Start::Ran;
  return run;
}

// The status of a program that ended, or "timed out" for one that was ended.
std::uint32_t ExitCodeOf(const BesideProgram& program, Reading reading) {
  DWORD exitCode = 0;
  if (reading == Reading::TimedOut) {
    return kTimedOut;
  }
  return ::GetExitCodeProcess(program.process.get(), &exitCode) ? exitCode : 0xFFFFFFFF;
}

}  // namespace

ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments,
                            std::uint32_t timeoutMs, const BuiltCompanions& companions) {
  BesideProgram started;
  ProgramRun run = StartBeside(program, arguments, false, companions, started);
  if (run.start != ProgramRun::Start::Ran) {
    return run;
  }
  const Reading reading = ReadUntilEnd(started.process.get(), started.job.get(),
                                       started.output.get(), timeoutMs, run.output);
  run.exitCode = ExitCodeOf(started, reading);
  return run;
}

ProgramRun StartProgramBeside(const std::string& program, const std::string& arguments,
                              const BuiltCompanions& companions, BesideProgram& started) {
  return StartBeside(program, arguments, true, companions, started);
}

ProgramAnswer HandProgramTask(BesideProgram& program, const std::string& input,
                              std::uint32_t timeoutMs,
                              const std::function<bool(std::string_view)>& answered) {
  ProgramAnswer answer;
  // A task fits the pipe's buffer: the write never waits on the program. One that fails (the
  // program ended) leaves the program's end to be read.
  DWORD written = 0;
  if (program.input) {
    ::WriteFile(program.input.get(), input.data(), static_cast<DWORD>(input.size()), &written,
                nullptr);
  }
  const Reading reading = ReadUntilEnd(program.process.get(), program.job.get(),
                                       program.output.get(), timeoutMs, answer.output, answered);
  answer.answered = reading == Reading::Answered;
  answer.ended = !answer.answered;
  if (answer.ended) {
    answer.exitCode = ExitCodeOf(program, reading);
    program.input.reset();
  }
  return answer;
}

std::uint32_t EndProgramSession(BesideProgram& program, std::uint32_t timeoutMs) {
  // Its standard input ends: a program that takes its tasks from it ends once it has read them.
  program.input.reset();
  std::string output;
  const Reading reading = ReadUntilEnd(program.process.get(), program.job.get(),
                                       program.output.get(), timeoutMs, output);
  return ExitCodeOf(program, reading);
}

}  // namespace vorsk::win32
