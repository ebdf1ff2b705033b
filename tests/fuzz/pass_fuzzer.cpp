// The fuzz target: the bytes of an input steer the generator of machines and scripts, and the
// whole removal pass runs on what it builds. A broken rule is reported with the case and aborts,
// so that the fuzzer keeps the input as it keeps a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fake_host.h"
#include "tests/property/choices.h"
#include "tests/property/machine_gen.h"
#include "tests/property/pass_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vorsk::test::FakeHost host;
  vorsk::test::ByteChoices choices(data, size);
  vorsk::test::GenerateCase(choices, host);
  const std::vector<std::string> violations = vorsk::test::RunPassAndCheck(host);
  if (violations.empty()) {
    return 0;
  }
  std::fprintf(stderr, "The removal pass broke its rules:\n");
  for (const std::string& violation : violations) {
    std::fprintf(stderr, "  %s\n", violation.c_str());
  }
  vorsk::test::FakeHost fresh;
  vorsk::test::ByteChoices again(data, size);
  vorsk::test::GenerateCase(again, fresh);
  std::fprintf(stderr, "The case:\n%s", vorsk::test::DescribeCase(fresh).c_str());
  std::abort();
}
