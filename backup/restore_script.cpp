#include "backup/restore_script.h"

#include "host/host.h"

namespace vorsk {

namespace {

constexpr char kLineEnd[] = "\r\n";
// The platform's programs, by full path: an attrib.bat beside the script, or on the PATH, never
// runs instead.
constexpr char kAttrib[] = "\"%SystemRoot%\\System32\\attrib.exe\"";
constexpr char kChcp[] = "\"%SystemRoot%\\System32\\chcp.com\"";
constexpr char kFc[] = "\"%SystemRoot%\\System32\\fc.exe\"";
constexpr char kReg[] = "\"%SystemRoot%\\System32\\reg.exe\"";
// The platform's driver tool: a 32-bit console reaches the 64-bit one through Sysnative.
constexpr char kPnputil[] = "%SystemRoot%\\System32\\pnputil.exe";
constexpr char kNativePnputil[] = "%SystemRoot%\\Sysnative\\pnputil.exe";

// Calls `each` with each character of `text`: one byte, or a lead byte with the byte after it.
template <typename Each>
void ForEachCharacter(const std::string& text, const LeadByteTest& isLead, Each each) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const bool pair = at + 1 < text.size() && isLead(static_cast<unsigned char>(text[at]));
    each(text.substr(at, pair ? 2 : 1));
    at += pair ? 1 : 0;
  }
}

// The attrib commands that leave the file at `quoted` with exactly the read-only, hidden and
// system flags of `attributes`. Windows' attrib changes nothing on a hidden or system file unless
// the command names those flags too, and Wine's applies only the last flag of a command: one
// command with all the flags, then one per flag, suits both.
std::string AttribLines(const std::string& quoted, std::uint32_t attributes) {
  const std::string quiet = " >nul 2>&1";
  std::string lines = std::string(kAttrib) + " -r -h -s " + quoted + quiet + kLineEnd;
  for (const char* flag : {"-s", "-h", "-r"}) {
    lines += std::string(kAttrib) + " " + flag + " " + quoted + quiet + kLineEnd;
  }
  std::string all;
  for (const auto& [bit, flag] :
       {std::pair{kFileAttributeReadOnly, "+r"}, std::pair{kFileAttributeHidden, "+h"},
        std::pair{kFileAttributeSystem, "+s"}}) {
    if ((attributes & bit) != 0) {
      lines += std::string(kAttrib) + " " + flag + " " + quoted + quiet + kLineEnd;
      all += std::string(flag) + " ";
    }
  }
  if (!all.empty()) {
    lines += std::string(kAttrib) + " " + all + quoted + quiet + kLineEnd;
  }
  return lines;
}

}  // namespace

std::string RestoreBeginning(const std::string& computer, const std::string& when,
                             std::uint32_t codePage, const LeadByteTest& isLead) {
  // Until the code page is set, every line is ASCII: cmd reads each line in the console's code
  // page of the moment.
  const std::string page = std::to_string(codePage);
  return std::string("@echo off") + kLineEnd + "setlocal EnableExtensions DisableDelayedExpansion" +
         kLineEnd + "set \"vorsk_page=\"" + kLineEnd + "for /f \"tokens=2 delims=:\" %%p in ('" +
         kChcp + " 2^>nul') do set \"vorsk_page=%%p\"" + kLineEnd + kChcp + " " + page +
         " >nul 2>&1" + kLineEnd + "rem Written in code page " + page +
         ": puts back what vorsk deleted on " + computer + " at " + when +
         ", as saved in this folder." + kLineEnd +
         "rem Run it as an administrator; run again, it changes nothing more. On another computer "
         "(a renamed one) it runs only when given /anycomputer." +
         kLineEnd + "set failed=0" + kLineEnd + "if /i not \"%~1\"==\"/anycomputer\" if /i not " +
         "\"%COMPUTERNAME%\"==" + CommandQuoted(computer, isLead) + " (" + kLineEnd +
         "echo NOT restored: this backup was made on " + CommandText(computer, isLead) +
         ", not on this computer ^(%COMPUTERNAME%^); give /anycomputer to restore it here." +
         kLineEnd + "set failed=1" + kLineEnd + "goto vorsk_end" + kLineEnd + ")" + kLineEnd +
         "call :vorsk_restore" + kLineEnd + ":vorsk_end" + kLineEnd + "if defined vorsk_page " +
         kChcp + " %vorsk_page% >nul 2>&1" + kLineEnd + "exit /b %failed%" + kLineEnd +
         ":vorsk_restore" + kLineEnd;
}

std::string RestoreFileLines(const std::string& path, const std::string& saved,
                             std::uint32_t attributes, const LeadByteTest& isLead) {
  const std::string quoted = CommandQuoted(path, isLead);
  const std::string copy = "\"%~dp0" + CommandQuoted(saved, isLead).substr(1);
  const std::string shown = CommandText(path, isLead);
  const std::string is = "if \"%vorsk_state%\"==";
  // Its place: empty (put), a folder, the same bytes as the copy (same), or another file.
  return std::string("set \"vorsk_attr=\"") + kLineEnd + "for %%f in (" + quoted +
         ") do set \"vorsk_attr=%%~af\"" + kLineEnd + "set \"vorsk_state=put\"" + kLineEnd +
         "if defined vorsk_attr set \"vorsk_state=other\"" + kLineEnd +
         "if defined vorsk_attr if \"%vorsk_attr:~0,1%\"==\"d\" set \"vorsk_state=folder\"" +
         kLineEnd + is + "\"other\" for %%f in (" + quoted + ") do for %%g in (" + copy +
         ") do if \"%%~zf\"==\"%%~zg\" (" + kFc +
         " /b \"%%~g\" \"%%~f\" >nul 2>&1& if not errorlevel 1 set \"vorsk_state=same\")" +
         kLineEnd + is + "\"put\" copy " + copy + " " + quoted + " >nul 2>&1" + kLineEnd + is +
         "\"put\" if errorlevel 1 set \"vorsk_state=failed\"" + kLineEnd + is +
         "\"same\" set \"vorsk_state=put\"" + kLineEnd + is + "\"put\" (" + kLineEnd +
         AttribLines(quoted, attributes) + ")" + kLineEnd + is + "\"put\" echo restored file " +
         shown + kLineEnd + is + "\"folder\" echo NOT restored: file " + shown +
         ": a folder is in its place" + kLineEnd + is + "\"other\" echo NOT restored: file " +
         shown + ": another file is in its place" + kLineEnd + is +
         "\"failed\" echo NOT restored: file " + shown + ": it cannot be copied" + kLineEnd +
         "if not \"%vorsk_state%\"==\"put\" set failed=1" + kLineEnd;
}

std::string RestorePackageLines(const std::string& infPath, const std::string& savedInf,
                                const LeadByteTest& isLead) {
  const std::string quoted = CommandQuoted(infPath, isLead);
  const std::string copy = "\"%~dp0" + CommandQuoted(savedInf, isLead).substr(1);
  const std::string shown = CommandText(infPath, isLead);
  // Windows 10's switch first, then Windows 7's.
  return std::string("set \"vorsk_pnputil=") + kPnputil + "\"" + kLineEnd + "if exist \"" +
         kNativePnputil + "\" set \"vorsk_pnputil=" + kNativePnputil + "\"" + kLineEnd +
         "\"%vorsk_pnputil%\" /add-driver " + copy + " >nul 2>&1" + kLineEnd +
         "if errorlevel 1 \"%vorsk_pnputil%\" -a " + copy + " >nul 2>&1" + kLineEnd +
         "set \"vorsk_state=missing\"" + kLineEnd + "for %%f in (" + quoted + ") do for %%g in (" +
         copy + ") do if \"%%~zf\"==\"%%~zg\" (" + kFc +
         " /b \"%%~g\" \"%%~f\" >nul 2>&1& if not errorlevel 1 set \"vorsk_state=same\")" +
         kLineEnd + "if \"%vorsk_state%\"==\"same\" (echo restored the driver package of " + shown +
         ") else (set failed=1& echo NOT restored: the driver package of " + shown +
         ": the platform's driver tool did not publish it again)" + kLineEnd;
}

std::string RestoreRegistryLines(bool wow64) {
  // Into the registry view the trees were read from: a 64-bit command prompt would otherwise
  // put the 32-bit view's keys into its own.
  return std::string(kReg) + " import \"%~dp0registry.reg\"" + (wow64 ? " /reg:32" : "") +
         " >nul 2>&1" + kLineEnd +
         "if errorlevel 1 (set failed=1& echo NOT restored: the registry trees of registry.reg) "
         "else (echo restored the registry trees of registry.reg)" +
         kLineEnd;
}

std::string RestoreEnding(bool instancesRecorded) {
  std::string ending;
  if (instancesRecorded) {
    ending += std::string(
                  "echo The device instances are not restored by this command: plugging "
                  "the device in again reinstalls them ^(manifest.txt lists them^).") +
              kLineEnd;
  }
  return ending + "goto :eof" + kLineEnd;
}

std::string CommandQuoted(const std::string& text, const LeadByteTest& isLead) {
  std::string quoted = "\"";
  ForEachCharacter(text, isLead, [&](const std::string& c) { quoted += c == "%" ? "%%" : c; });
  return quoted + "\"";
}

std::string CommandText(const std::string& text, const LeadByteTest& isLead) {
  std::string escaped;
  ForEachCharacter(text, isLead, [&](const std::string& c) {
    if (c == "%") {
      escaped += "%%";
      return;
    }
    if (c.size() == 1 && std::string("&|<>^()\"").find(c[0]) != std::string::npos) {
      escaped += '^';
    }
    escaped += c;
  });
  return escaped;
}

}  // namespace vorsk
