// Where the lines of a windowed program go when a command prompt started it.
#pragma once

namespace vorsk {

// A windowed program has no console of its own. Standard output and error that were not
// redirected go to the console of the parent process, when it has one (a command prompt); a
// redirected stream stays where it was sent.
void UseParentConsoleForUnredirectedOutput();

}  // namespace vorsk
