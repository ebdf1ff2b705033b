#include "backup/restore_script.h"

#include "host/host.h"

namespace vorsk {

namespace {

constexpr char kLineEnd[] = "\r\n";

// The attrib commands that leave the file at `path` with exactly the read-only, hidden and system
// flags of `attributes`. Windows' attrib changes nothing on a hidden or system file unless the
// command names those flags too, and Wine's applies only the last flag of a command: one command
// with all the flags, then one per flag, suits both.
std::string AttribLines(const std::string& path, std::uint32_t attributes) {
  const std::string quoted = CommandQuoted(path);
  const std::string quiet = " >nul 2>&1";
  std::string lines = "attrib -r -h -s " + quoted + quiet + kLineEnd;
  for (const char* flag : {"-s", "-h", "-r"}) {
    lines += std::string("attrib ") + flag + " " + quoted + quiet + kLineEnd;
  }
  std::string all;
  for (const auto& [bit, flag] :
       {std::pair{kFileAttributeReadOnly, "+r"}, std::pair{kFileAttributeHidden, "+h"},
        std::pair{kFileAttributeSystem, "+s"}}) {
    if ((attributes & bit) != 0) {
      lines += std::string("attrib ") + flag + " " + quoted + quiet + kLineEnd;
      all += std::string(flag) + " ";
    }
  }
  if (!all.empty()) {
    lines += "attrib " + all + quoted + quiet + kLineEnd;
  }
  return lines;
}

}  // namespace

std::string RestoreBeginning(const std::string& computer, const std::string& when) {
  return std::string("@echo off") + kLineEnd + "rem Puts back what vorsk deleted on " + computer +
         " at " + when + ", as saved in this folder." + kLineEnd +
         "rem Run it as an administrator; run again, it changes nothing more." + kLineEnd +
         "set failed=0" + kLineEnd;
}

std::string RestoreFileLines(const std::string& path, const std::string& saved,
                             std::uint32_t attributes) {
  // The file in the way loses its read-only, hidden and system flags first (Windows would not
  // copy over a read-only file); the copy then gets the saved ones.
  return "if exist " + CommandQuoted(path) + " (" + kLineEnd + AttribLines(path, 0) + ")" +
         kLineEnd + "copy /y \"%~dp0" + CommandQuoted(saved).substr(1) + " " + CommandQuoted(path) +
         " >nul 2>&1" + kLineEnd + "if errorlevel 1 (set failed=1& echo NOT restored: file " +
         CommandText(path) + ") else (echo restored file " + CommandText(path) + ")" + kLineEnd +
         "if exist " + CommandQuoted(path) + " (" + kLineEnd + AttribLines(path, attributes) + ")" +
         kLineEnd;
}

std::string RestoreRegistryLines(bool wow64) {
  // Into the registry view the trees were read from: a 64-bit command prompt would otherwise
  // put the 32-bit view's keys into its own.
  return std::string("reg import \"%~dp0registry.reg\"") + (wow64 ? " /reg:32" : "") +
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
  return ending + "exit /b %failed%" + kLineEnd;
}

std::string CommandQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c == '%' ? std::string("%%") : std::string(1, c);
  }
  return quoted + "\"";
}

std::string CommandText(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '%') {
      escaped += "%%";
      continue;
    }
    if (c == '&' || c == '|' || c == '<' || c == '>' || c == '^' || c == '(' || c == ')' ||
        c == '"') {
      escaped += '^';
    }
    escaped += c;
  }
  return escaped;
}

}  // namespace vorsk
