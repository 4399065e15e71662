#include "bench/engine_contenders.h"

#include "engine/conversion_pass.h"
#include "engine/letter_case.h"
#include "engine/replacements.h"
#include "tests/support/engine_fakes.h"

namespace skorvatin::bench {

void engineConversion(FileList& list, EngineConversion how, JournalStore* journal) {
  testing::SilentPassView view;
  const EventPump pump = [] {};
  const NameTransform transform =
      how == EngineConversion::Lower
          ? NameTransform([](const std::string& n) { return changeCase(n, CaseMode::AllLower); })
          : NameTransform(
                [](const std::string& n) { return replaceCharacters(n, ReplaceMode::SpacesToUnderscores); });
  runConversionPass(list, view, pump, transform, journal);
}

}  // namespace skorvatin::bench
