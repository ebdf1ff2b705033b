// Where the shell hands control to the removal run: the main frame, once built, passes itself as
// the owner of the run's message boxes. The program links the real run (removal_handoff.cpp),
// which ends the process; the shell's tests link a recorder in its place.
#pragma once

class CWnd;

namespace vorsk {

void RunRemoval(CWnd* frame);

}  // namespace vorsk
