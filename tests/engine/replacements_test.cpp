#include "engine/replacements.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using skorvatin::replaceCharacters;
using skorvatin::ReplaceMode;

struct Row {
  const char* name;
  std::string input;
  std::string spacesToUnderscores;
  std::string underscoresToSpaces;
  std::string polishToPlain;
};

const Row kRows[] = {
    {"spaces", "Wakacje nad morzem 07.JPG", "Wakacje_nad_morzem_07.JPG", "Wakacje nad morzem 07.JPG",
     "Wakacje nad morzem 07.JPG"},
    {"spaces at both ends", " a b ", "_a_b_", " a b ", " a b "},
    {"doubled underscores", "a__b_.txt", "a__b_.txt", "a  b .txt", "a__b_.txt"},
    {"letters untouched by the separator modes", "Ąb_C ż.TXT", "Ąb_C_ż.TXT", "Ąb C ż.TXT", "Ab_C z.TXT"},
    {"polish words", "Źródło Łódź żółć.TXT", "Źródło_Łódź_żółć.TXT", "Źródło Łódź żółć.TXT",
     "Zrodlo Lodz zolc.TXT"},
    {"every polish letter", "ĄĘŚĆŻŹŃÓŁ ąęśćżźńół.txt", "ĄĘŚĆŻŹŃÓŁ_ąęśćżźńół.txt", "ĄĘŚĆŻŹŃÓŁ ąęśćżźńół.txt",
     "AESCZZNOL aesczznol.txt"},
    {"extension too", "notatka.żółw", "notatka.żółw", "notatka.żółw", "notatka.zolw"},
    {"other diacritics", "café über naïve.txt", "café_über_naïve.txt", "café über naïve.txt",
     "café über naïve.txt"},
    {"look-alikes outside the table", "ŀ ǳ Ž ĺ.txt", "ŀ_ǳ_Ž_ĺ.txt", "ŀ ǳ Ž ĺ.txt", "ŀ ǳ Ž ĺ.txt"},
    {"empty", "", "", "", ""},
    // A name written in Latin-2 on disk: its bytes are no UTF-8 and must come back as they were.
    {"latin-2 bytes", "z\xEA \xB3_\xC4\x85.txt", "z\xEA_\xB3_\xC4\x85.txt", "z\xEA \xB3 \xC4\x85.txt",
     "z\xEA \xB3_a.txt"},
    {"truncated sequence", "\xC5 _\xC5", "\xC5__\xC5", "\xC5  \xC5", "\xC5 _\xC5"},
    // Decomposed, as some systems store names: the plain letter, then U+0328 ogonek (CC A8), U+0301
    // acute (CC 81) or U+0307 dot above (CC 87). Ł has no decomposed form and stays composed.
    {"capitals decomposed",
     "A\xCC\xA8-C\xCC\x81-E\xCC\xA8-N\xCC\x81O\xCC\x81S\xCC\x81Z\xCC\x87Z\xCC\x81\xC5\x81",
     "A\xCC\xA8-C\xCC\x81-E\xCC\xA8-N\xCC\x81O\xCC\x81S\xCC\x81Z\xCC\x87Z\xCC\x81\xC5\x81",
     "A\xCC\xA8-C\xCC\x81-E\xCC\xA8-N\xCC\x81O\xCC\x81S\xCC\x81Z\xCC\x87Z\xCC\x81\xC5\x81", "A-C-E-NOSZZL"},
    {"small letters decomposed",
     "a\xCC\xA8-c\xCC\x81-e\xCC\xA8-n\xCC\x81o\xCC\x81s\xCC\x81z\xCC\x87z\xCC\x81\xC5\x82",
     "a\xCC\xA8-c\xCC\x81-e\xCC\xA8-n\xCC\x81o\xCC\x81s\xCC\x81z\xCC\x87z\xCC\x81\xC5\x82",
     "a\xCC\xA8-c\xCC\x81-e\xCC\xA8-n\xCC\x81o\xCC\x81s\xCC\x81z\xCC\x87z\xCC\x81\xC5\x82", "a-c-e-noszzl"},
    // An acute at the start, á, ė, z and x with an ogonek, ą followed by an acute.
    {"marks that make no letter of the table",
     "\xCC\x81-a\xCC\x81-e\xCC\x87-z\xCC\xA8-x\xCC\xA8-\xC4\x85\xCC\x81",
     "\xCC\x81-a\xCC\x81-e\xCC\x87-z\xCC\xA8-x\xCC\xA8-\xC4\x85\xCC\x81",
     "\xCC\x81-a\xCC\x81-e\xCC\x87-z\xCC\xA8-x\xCC\xA8-\xC4\x85\xCC\x81",
     "\xCC\x81-a\xCC\x81-e\xCC\x87-z\xCC\xA8-x\xCC\xA8-a\xCC\x81"},
    // A cut-off mark, and a stray byte between a letter and its mark or after a decomposed ż.
    {"stray bytes beside marks", "a\xCC-a\xFF\xCC\xA8-z\xCC\x87\xFF", "a\xCC-a\xFF\xCC\xA8-z\xCC\x87\xFF",
     "a\xCC-a\xFF\xCC\xA8-z\xCC\x87\xFF", "a\xCC-a\xFF\xCC\xA8-z\xFF"},
};

TEST(ReplaceCharacters, EveryModeOnEveryName) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(replaceCharacters(row.input, ReplaceMode::SpacesToUnderscores), row.spacesToUnderscores);
    EXPECT_EQ(replaceCharacters(row.input, ReplaceMode::UnderscoresToSpaces), row.underscoresToSpaces);
    EXPECT_EQ(replaceCharacters(row.input, ReplaceMode::PolishToPlain), row.polishToPlain);
  }
}

}  // namespace
