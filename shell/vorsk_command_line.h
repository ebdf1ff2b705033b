// The command line of vorsk.exe: its own switches, and the framework's for everything else.
//
//   /quiet, /q        no message box; each becomes a line on standard error and in the log
//   /log:<file>       append what the run does to <file>
//   /list             change nothing; list what a run would remove
//   /backup:<folder>  save what the run deletes in a new folder below <folder> first
//   /restore:<folder> put the backup in <folder> back instead of removing anything
//   /anycomputer      with /restore: the person vouches for a backup without a record here
//   /?                the switches and the exit statuses
//
// Switches may also begin with '-', in any letter case. A switch that neither vorsk nor the
// framework knows asks for the usage: nothing runs.
#pragma once

#include <string>

#include "framework/framework.h"
#include "shell/removal_runner.h"

class CVorskCommandLineInfo : public CCommandLineInfo {
 public:
  void ParseParam(const wchar_t* pszParam, BOOL bFlag, BOOL bLast) override;

  // What the command line asks of the removal.
  RemovalRequest m_request;
  // The usage was asked for (/?), or the command line holds a switch nobody knows.
  bool m_showUsage = false;
  // Why the switches given cannot go together; empty when they can.
  std::string Conflict() const;
  // Whether its lines (the usage, the listing, a quiet run's lines) should reach the console of a
  // command prompt that started the program.
  bool WantsConsole() const {
    return m_showUsage || m_request.options.quiet || m_request.options.list ||
           !m_request.restoreFolder.empty() || !Conflict().empty();
  }
};
