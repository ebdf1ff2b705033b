// The start-up's phases, timed for the benchmarks. When the environment variable
// VORSK_STARTUP_TIMES is set (bench/run.sh sets it; nothing else does), each mark records how
// long the phase that it ends took, and WriteStartupTimes writes one line per phase to standard
// error: "phase <name> <milliseconds>". The first phase runs from the process's creation. Without
// the variable a mark costs the test of a flag, and nothing is written.
#pragma once

namespace vorsk {

// Ends the phase named `name` (a literal: it is kept, not copied) and starts the next.
void MarkStartupPhase(const char* name);

// Writes the phases marked so far, when they are timed.
void WriteStartupTimes();

}  // namespace vorsk
