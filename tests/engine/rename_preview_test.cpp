#include "engine/rename_preview.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/replacements.h"
#include "tests/support/memory_folder.h"

namespace skorvatin {
namespace {

using Names = std::vector<std::string>;

// The tooltip each button shows, built from the plan its operation makes; nothing is renamed.
TEST(RenamePreview, TextsFromEachOperationsPlan) {
  struct Row {
    const char* name;
    Names files;
    Names strangers;  // subfolders, never listed
    std::function<RenamePreview(FileList&)> preview;
    const char* text;
  };
  Names many;
  for (int i = 0; i < 32768; ++i) many.push_back("f" + std::to_string(i));
  const auto numbering = [](FileList& list) {
    return NumberingRun(list, NumberingSettings{}, nullptr).preview();
  };
  const Row rows[] = {
      {"numbering: first, middle and last",
       {"DSC_0412.JPG", "DSC_0413.JPG", "a.png", "b.png", "lato.jpg"},
       {},
       numbering,
       "Zmieni nazwy plików: 5\na.png → Plik1.png\nDSC_0412.JPG → Plik3.JPG\nlato.jpg → Plik5.jpg\n"
       "Ctrl+Z cofa ostatnią zmianę nazw"},
      {"numbering refused before the first rename",
       {"a.jpg", "b.jpg"},
       {"Plik2.jpg"},
       numbering,
       "Nic nie zmieni: Błąd 58: Plik już istnieje\nb.jpg (Plik2.jpg)\nCtrl+Z cofa ostatnią zmianę nazw"},
      {"letter case, two names already right",
       {"RAPORT.DOC", "lato.jpg", "zima.jpg", "ŻUBR.JPG"},
       {},
       [](FileList& list) {
         return previewConversion(list,
                                  [](const std::string& n) { return changeCase(n, CaseMode::AllLower); });
       },
       "Zmieni nazwy plików: 2 (bez zmian: 2)\nRAPORT.DOC → raport.doc\nŻUBR.JPG → żubr.jpg\n"
       "Ctrl+Z cofa ostatnią zmianę nazw"},
      {"replacements that change nothing",
       {"lato.jpg", "zima.jpg"},
       {},
       [](FileList& list) {
         return previewConversion(
             list, [](const std::string& n) { return replaceCharacters(n, ReplaceMode::PolishToPlain); });
       },
       "Żadna nazwa się nie zmieni\nCtrl+Z cofa ostatnią zmianę nazw"},
      {"an empty list", {}, {}, numbering, "Brak plików na liście\nCtrl+Z cofa ostatnią zmianę nazw"},
      {"more files than a run counts",
       many,
       {},
       numbering,
       "Nic nie zmieni: Błąd 6: Przepełnienie\nfoto (ponad 32767 plików na liście)\nCtrl+Z cofa ostatnią "
       "zmianę nazw"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::MemoryDisk disk;
    disk.folder("/foto");
    disk.addAll("/foto", row.files);
    for (const std::string& s : row.strangers) disk.add("/foto", s, EntryKind::Folder);
    FileList list(disk);
    list.setPath("/foto");
    const Names before = disk.names("/foto");
    EXPECT_EQ(previewText(row.preview(list)), row.text);
    EXPECT_EQ(disk.names("/foto"), before);
  }
}

}  // namespace
}  // namespace skorvatin
