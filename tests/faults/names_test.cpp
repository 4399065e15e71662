// Names at the edges of what a file system holds: as long as a name may be, not UTF-8, and full of
// characters that a shell or a careless program would trip over. Each is listed, renamed exactly,
// and a name the file system cannot take is refused before anything is renamed.
#include "engine/conversion_pass.h"
#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/replacements.h"
#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "tests/faults/fault_harness.h"

namespace skorvatin::faults {
namespace {

class Names : public FaultTest {
 protected:
  std::optional<RunError> number(const Options& given) {
    Options options = given;
    platform::PosixFolders folders;
    FileList list(folders);
    list.setPath(folder());
    NumberingRun run(list, options, [] {});
    try {
      run.run();
    } catch (const RunError& e) {
      return e;
    }
    return std::nullopt;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& [name, state] : snapshot(folder())) out.push_back(name);
    return out;
  }
};

// 253 bytes is the longest name whose ".q" form (255 bytes) the file system still takes.
TEST_F(Names, LongestNamesAndOneByteTooMany) {
  const std::string name253 = std::string(249, 'n') + ".txt";
  const std::string name254 = std::string(250, 'n') + ".txt";
  struct Row {
    const char* name;
    std::string file;
    std::string prefix;
    int number;  // 0: the run goes through
    std::vector<std::string> after;
  };
  const Row rows[] = {
      {"253-byte name", name253, "Plik", 0, {"Plik1.txt"}},
      {"254-byte name", name254, "Plik", err::BadFileName, {name254}},
      {"final name of 256 bytes", "a.txt", std::string(251, 'p'), err::BadFileName, {"a.txt"}},
      {"final name of 255 bytes", "a.txt", std::string(250, 'p'), 0, {std::string(250, 'p') + "1.txt"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    resetFolder();
    makeFiles({row.file});
    const Snapshot before = snapshot(folder());
    Options options;
    options.prefix = row.prefix;
    const auto error = number(options);
    ASSERT_EQ(error.has_value(), row.number != 0) << (error ? error->what() : "");
    if (error) {
      EXPECT_EQ(error->number(), row.number);
      EXPECT_EQ(error->file(), inFolder(row.file));
      EXPECT_NE(std::string(error->what()).find("dłuższa niż 255 bajtów"), std::string::npos)
          << error->what();
      EXPECT_EQ(snapshot(folder()), before);
    }
    EXPECT_EQ(names(), row.after);
  }
}

// Each name with what the case pass and the letter replacement make of it. Stray bytes, newlines,
// quotes and shell syntax come through as plain bytes; combining marks stay where they were, but
// for those that spell a Polish letter with the letter before them.
struct OddName {
  const char* label;
  std::string name;
  std::string upper;
  std::string plain;  // Polish letters to Latin ones
};
const std::vector<OddName> kOddNames = {
    {"not UTF-8", "caf\xE9 \xFF.txt", "CAF\xE9 \xFF.TXT", "caf\xE9 \xFF.txt"},
    {"newline", "line\nbreak.txt", "LINE\nBREAK.TXT", "line\nbreak.txt"},
    {"leading dash", "-rf.txt", "-RF.TXT", "-rf.txt"},
    {"quotes", "it's \"so\".txt", "IT'S \"SO\".TXT", "it's \"so\".txt"},
    {"semicolon", "a;b.txt", "A;B.TXT", "a;b.txt"},
    {"command substitution", "$(touch pwned).txt", "$(TOUCH PWNED).TXT", "$(touch pwned).txt"},
    {"emoji",
     "\xF0\x9F\x98\x80 zdj\xC4\x99"
     "cie.jpg",
     "\xF0\x9F\x98\x80 ZDJ\xC4\x98"
     "CIE.JPG",
     "\xF0\x9F\x98\x80 zdjecie.jpg"},
    // żółw with the dot and the acute as combining marks: z U+0307, o U+0301, ł, w.
    {"decomposed Polish", "z\xCC\x87o\xCC\x81\xC5\x82w.txt", "Z\xCC\x87O\xCC\x81\xC5\x81W.TXT", "zolw.txt"},
};

TEST_F(Names, OddNamesAreListedAndRenamedExactly) {
  std::vector<std::string> originals;
  for (const OddName& n : kOddNames) originals.push_back(n.name);
  makeFiles(originals);
  const Snapshot before = snapshot(folder());

  platform::PosixFolders folders;
  FileList list(folders);
  list.setPath(folder());
  ASSERT_EQ(batchCount(list), static_cast<std::int16_t>(kOddNames.size()));
  for (const OddName& n : kOddNames) {
    EXPECT_NE(std::find(list.names().begin(), list.names().end(), n.name), list.names().end()) << n.label;
  }

  View view;
  runConversionPass(
      list, view, [] {}, [](const std::string& s) { return changeCase(s, CaseMode::AllUpper); });
  Snapshot expected;
  for (const OddName& n : kOddNames) expected[n.upper] = before.at(n.name);
  EXPECT_EQ(snapshot(folder()), expected);

  runConversionPass(
      list, view, [] {}, [](const std::string& s) { return changeCase(s, CaseMode::AllLower); });
  runConversionPass(
      list, view, [] {},
      [](const std::string& s) { return replaceCharacters(s, ReplaceMode::PolishToPlain); });
  expected.clear();
  for (const OddName& n : kOddNames) expected[n.plain] = before.at(n.name);
  EXPECT_EQ(snapshot(folder()), expected);

  // Numbered in the list's order: by code point after case folding, so "$" and "-" come first
  // and the emoji, far above every letter, last.
  Options options;
  ASSERT_FALSE(number(options).has_value());
  const std::vector<std::pair<std::string, const char*>> numbered = {
      {"Plik1.txt", "command substitution"},
      {"Plik2.txt", "leading dash"},
      {"Plik3.txt", "semicolon"},
      {"Plik4.txt", "not UTF-8"},
      {"Plik5.txt", "quotes"},
      {"Plik6.txt", "newline"},
      {"Plik7.txt", "decomposed Polish"},
      {"Plik8.jpg", "emoji"},
  };
  expected.clear();
  for (const auto& [final, label] : numbered) {
    const auto it = std::find_if(kOddNames.begin(), kOddNames.end(),
                                 [&](const OddName& n) { return n.label == std::string(label); });
    expected[final] = before.at(it->name);
  }
  EXPECT_EQ(snapshot(folder()), expected);
}

}  // namespace
}  // namespace skorvatin::faults
