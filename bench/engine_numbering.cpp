#include "bench/engine_contenders.h"

#include "engine/numbering_run.h"
#include "platform/safe_rename.h"

namespace skorvatin::bench {

namespace {

class DefaultOptions final : public NumberingOptions {
 public:
  explicit DefaultOptions(bool zeros) : zeros_(zeros) {}
  std::string Text1() override { return "1"; }
  std::string Text2() override { return "1"; }
  std::string Text3() override { return "Plik"; }
  std::string Text5() override { return {}; }
  int Check1Value() override { return zeros_ ? 1 : 0; }
  std::string DecimalSeparator() override { return ","; }

 private:
  bool zeros_;
};

}  // namespace

void engineNumbering(FileList& list, const NumberingSettings& settings) {
  DefaultOptions options(settings.leadingZeros);
  platform::SafeRenameService renamer;
  NumberingRun run(list, options, renamer, [] {});
  run.Command1_Click();
}

}  // namespace skorvatin::bench
