#include "host/win32/program_runner.h"

#include <algorithm>
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

// Reads the program's output while it runs, up to `timeoutMs`; when the time runs out, ends its
// job (the program and whatever it started), or the program alone where it has no job. Returns
// whether it ended in time.
bool ReadUntilEnd(HANDLE process, HANDLE job, HANDLE pipe, std::uint32_t timeoutMs,
                  std::string& output) {
  // The tick count wraps after 49 days; the difference of two counts does not.
  const DWORD start = ::GetTickCount();
  for (;;) {
    const bool open = ReadAvailable(pipe, output);
    const DWORD elapsed = ::GetTickCount() - start;
    const DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    // Short waits while the pipe is open: its output is taken as it comes, so that a program that
    // fills the pipe's buffer never waits on this one.
    if (::WaitForSingleObject(process, open ? (left < 10 ? left : 10) : left) == WAIT_OBJECT_0) {
      ReadAvailable(pipe, output);
      return true;
    }
    if (elapsed >= timeoutMs) {
      if (job != nullptr) {
        ::TerminateJobObject(job, kTimedOut);
      } else {
        ::TerminateProcess(process, kTimedOut);
      }
      ::WaitForSingleObject(process, 10000);
      ReadAvailable(pipe, output);
      return false;
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

// The attribute list that names the one handle a started program inherits: from Vista on, where
// the platform has one. Empty before: there, every inheritable handle of this process is
// inherited, and the pipe's writing end is the only one vorsk makes.
class InheritedHandles {
 public:
  explicit InheritedHandles(HANDLE handle) : handle_(handle) {
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
    if (!update(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_, sizeof(handle_), nullptr,
                nullptr)) {
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
  HANDLE handle_;
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

ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments,
                            std::uint32_t timeoutMs, const BuiltCompanions& companions) {
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

  // The program's standard output is the writing end of a pipe, the only handle it inherits; it
  // has no standard input or error.
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  unique_handle reading;
  unique_handle writing;
  if (!::CreatePipe(reading.put(), writing.put(), &inheritable, 64 * 1024) ||
      !::SetHandleInformation(reading.get(), HANDLE_FLAG_INHERIT, 0)) {
    return NotStarted(ProgramRun::Start::Failed, ::GetLastError());
  }
  InheritedHandles inherited(writing.get());
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = inherited.list() != nullptr ? sizeof(startup) : sizeof(STARTUPINFOW);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdOutput = writing.get();
  startup.lpAttributeList = inherited.list();

  std::wstring commandLine = L"\"" + path + L"\" " + Widen(arguments);
  PROCESS_INFORMATION started = {};
  const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW |
                      (inherited.list() != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);
  if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup.StartupInfo, &started)) {
    return NotStarted(ProgramRun::Start::Failed, ::GetLastError());
  }
  unique_handle process(started.hProcess);
  unique_handle thread(started.hThread);
  // Where this process may not start a job of its own (an older platform, inside a job that
  // forbids it), the program runs without one: it still ends on its own once its work is done.
  unique_handle job = CreateKillOnCloseJob();
  if (job && !::AssignProcessToJobObject(job.get(), process.get())) {
    job.reset();
  }
  ::ResumeThread(thread.get());

  // Only the program holds the writing end now: the pipe ends when the program does.
  writing.reset();
  ProgramRun run;
  run.start = ProgramRun::Start::Ran;
  DWORD exitCode = 0;
  if (!ReadUntilEnd(process.get(), job.get(), reading.get(), timeoutMs, run.output)) {
    run.exitCode = kTimedOut;
  } else {
    run.exitCode = ::GetExitCodeProcess(process.get(), &exitCode) ? exitCode : 0xFFFFFFFF;
  }
  return run;
}

}  // namespace vorsk::win32
