#include "bench/engine_contenders.h"

#include "engine/conversion_pass.h"
#include "engine/letter_case.h"
#include "engine/replacements.h"
#include "tests/support/engine_fakes.h"

namespace skorvatin::bench {

void engineConversion(FileList& list, EngineConversion how) {
  testing::SilentPassView view;
  const EventPump pump = [] {};
  if (how == EngineConversion::Lower) {
    runConversionPass(list, view, pump,
                      [](const std::string& name) { return Litery(name, CaseMode::AllLower); });
  } else {
    runConversionPass(list, view, pump, [](const std::string& name) {
      return Litery2(name, ReplaceMode::SpacesToUnderscores);
    });
  }
}

}  // namespace skorvatin::bench
