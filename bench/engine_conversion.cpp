#include "bench/engine_contenders.h"

#include "engine/conversion_pass.h"
#include "engine/letter_case.h"
#include "engine/replacements.h"
#include "platform/safe_rename.h"

namespace skorvatin::bench {

namespace {

class HiddenProgress final : public ConversionPassView {
 public:
  float Pb1Width() override { return 6135; }
  void SetPb2Width(float width) override { width_ = width; }
  void SetButtonEnabled(bool enabled) override { enabled_ = enabled; }
  void SetButtonFocus() override {}

 private:
  float width_ = 135;
  bool enabled_ = true;
};

}  // namespace

void engineConversion(FileList& list, EngineConversion how) {
  platform::SafeRenameService renamer;
  HiddenProgress view;
  const EventPump pump = [] {};
  if (how == EngineConversion::Lower) {
    ConversionPass(list, renamer, view, pump,
                   [](const std::string& name) { return Litery(name, CaseMode::AllLower); });
  } else {
    ConversionPass(list, renamer, view, pump,
                   [](const std::string& name) { return Litery2(name, ReplaceMode::SpacesToUnderscores); });
  }
}

}  // namespace skorvatin::bench
