#include "bench/engine_contenders.h"

#include "engine/numbering_run.h"
#include "platform/posix_folder.h"
#include "tests/support/engine_fakes.h"

namespace skorvatin::bench {

void engineNumbering(FileList& list, const NumberingSettings& settings) {
  testing::FakeNumberingOptions options;
  options.check1 = settings.leadingZeros ? 1 : 0;
  NumberingRun run(list, options, [] {});
  run.Command1_Click();
}

}  // namespace skorvatin::bench
