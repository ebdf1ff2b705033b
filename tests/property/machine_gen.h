// Generated machines and removal scripts for the whole removal pass: class keys with many driver
// entries whose values come in every registry type and shape, INF files and decoys around them,
// device instances with hardware-ID lists of every shape, key trees wide and deep, the faults the
// in-memory machine can inject, and a script with missing sections, odd counts, overlong entries
// and names in any letter case.
#pragma once

#include "tests/fake_host.h"
#include "tests/property/choices.h"

namespace vorsk::test {

// Builds a machine and its removal script on `host` (a fresh one) from `choices`.
void GenerateCase(Choices& choices, FakeHost& host);

}  // namespace vorsk::test
