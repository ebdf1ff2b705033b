#include "host/win32/program_runner.h"

#include <vector>

#include "host/win32/win32_handles.h"

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

std::string ReadWhole(HANDLE pipe) {
  std::string output;
  std::vector<char> chunk(4096);
  DWORD read = 0;
  while (::ReadFile(pipe, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) &&
         read > 0) {
    output.append(chunk.data(), read);
  }
  return output;
}

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

ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments) {
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

  // The program's standard output is the writing end of a pipe; standard error stays this
  // process's, and standard input reads nothing.
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  unique_handle reading;
  unique_handle writing;
  if (!::CreatePipe(reading.put(), writing.put(), &inheritable, 0) ||
      !::SetHandleInformation(reading.get(), HANDLE_FLAG_INHERIT, 0)) {
    return NotStarted(ProgramRun::Start::Failed, ::GetLastError());
  }
  unique_hfile nothing(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inheritable, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing.get();
  startup.hStdOutput = writing.get();
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);

  std::wstring commandLine = L"\"" + path + L"\" " + Widen(arguments);
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &started)) {
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
  nothing.reset();
  ProgramRun run;
  run.start = ProgramRun::Start::Ran;
  run.output = ReadWhole(reading.get());
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 0;
  run.exitCode = ::GetExitCodeProcess(process.get(), &exitCode) ? exitCode : 0xFFFFFFFF;
  return run;
}

}  // namespace vorsk::win32
