#include "engine/letter_case.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using skorvatin::CaseMode;
using skorvatin::changeCase;

struct Row {
  const char* name;
  std::string input;
  std::string words;       // EveryWordCapital
  std::string upper;       // AllUpper
  std::string lower;       // AllLower
  std::string firstUpper;  // FirstUpperRestLower
  std::string firstLower;  // FirstLowerRestUpper
};

// Stray bytes are written as separate literals so that a hex escape never swallows the letter after it.
const Row kRows[] = {
    {"holiday photo", "zdjęcie z wakacji-lato_2005.JPG", "Zdjęcie Z Wakacji-Lato_2005.jpg",
     "ZDJĘCIE Z WAKACJI-LATO_2005.JPG", "zdjęcie z wakacji-lato_2005.jpg", "Zdjęcie z wakacji-lato_2005.jpg",
     "zDJĘCIE Z WAKACJI-LATO_2005.JPG"},
    {"dots begin no word", "raport.final.DOC", "Raport.final.doc", "RAPORT.FINAL.DOC", "raport.final.doc",
     "Raport.final.doc", "rAPORT.FINAL.DOC"},
    {"digit first", "2005lato.txt", "2005lato.txt", "2005LATO.TXT", "2005lato.txt", "2005lato.txt",
     "2005LATO.TXT"},
    {"doubled separators", "a__b--c d.txt", "A__B--C D.txt", "A__B--C D.TXT", "a__b--c d.txt",
     "A__b--c d.txt", "a__B--C D.TXT"},
    {"separator first", "_abc.txt", "_Abc.txt", "_ABC.TXT", "_abc.txt", "_abc.txt", "_ABC.TXT"},
    {"inner capital", "McDonald.TXT", "Mcdonald.txt", "MCDONALD.TXT", "mcdonald.txt", "Mcdonald.txt",
     "mCDONALD.TXT"},
    {"every polish letter both ways", "ąćęłńóśźż ĄĆĘŁŃÓŚŹŻ.jpg", "Ąćęłńóśźż Ąćęłńóśźż.jpg",
     "ĄĆĘŁŃÓŚŹŻ ĄĆĘŁŃÓŚŹŻ.JPG", "ąćęłńóśźż ąćęłńóśźż.jpg", "Ąćęłńóśźż ąćęłńóśźż.jpg",
     "ąĆĘŁŃÓŚŹŻ ĄĆĘŁŃÓŚŹŻ.JPG"},
    {"inverted case", "hELLO wORLD.TXT", "Hello World.txt", "HELLO WORLD.TXT", "hello world.txt",
     "Hello world.txt", "hELLO WORLD.TXT"},
    {"title case", "Hello World.txt", "Hello World.txt", "HELLO WORLD.TXT", "hello world.txt",
     "Hello world.txt", "hELLO WORLD.TXT"},
    {"one latin letter", "a", "A", "A", "a", "A", "a"},
    {"one capital", "Q", "Q", "Q", "q", "Q", "q"},
    {"one polish letter", "ż", "Ż", "Ż", "ż", "Ż", "ż"},
    {"one digit", "7", "7", "7", "7", "7", "7"},
    {"empty", "", "", "", "", "", ""},
    // Simple mappings only: final sigma is not chosen by context, ß does not become SS, the dotted
    // capital I loses its dot instead of gaining a combining one, and no Turkish rule maps i to İ.
    {"greek", "ΟΔΟΣ σοφία.txt", "Οδοσ Σοφία.txt", "ΟΔΟΣ ΣΟΦΊΑ.TXT", "οδοσ σοφία.txt", "Οδοσ σοφία.txt",
     "οΔΟΣ ΣΟΦΊΑ.TXT"},
    {"cyrillic", "привет мир-ЁЖ.txt", "Привет Мир-Ёж.txt", "ПРИВЕТ МИР-ЁЖ.TXT", "привет мир-ёж.txt",
     "Привет мир-ёж.txt", "пРИВЕТ МИР-ЁЖ.TXT"},
    {"sharp s", "straße.txt", "Straße.txt", "STRAßE.TXT", "straße.txt", "Straße.txt", "sTRAßE.TXT"},
    {"dotted capital i", "İstanbul iki.txt", "İstanbul Iki.txt", "İSTANBUL IKI.TXT", "istanbul iki.txt",
     "İstanbul iki.txt", "iSTANBUL IKI.TXT"},
    {"stray bytes",
     "a\xFF"
     "b c\xC3.txt",
     "A\xFF"
     "b C\xC3.txt",
     "A\xFF"
     "B C\xC3.TXT",
     "a\xFF"
     "b c\xC3.txt",
     "A\xFF"
     "b c\xC3.txt",
     "a\xFF"
     "B C\xC3.TXT"},
    {"latin-2 name",
     "\xB3\xF3"
     "d\xBC.jpg",
     "\xB3\xF3"
     "d\xBC.jpg",
     "\xB3\xF3"
     "D\xBC.JPG",
     "\xB3\xF3"
     "d\xBC.jpg",
     "\xB3\xF3"
     "d\xBC.jpg",
     "\xB3\xF3"
     "D\xBC.JPG"},
    {"stray byte after separator", "x-\xE9t\xE9", "X-\xE9t\xE9", "X-\xE9T\xE9", "x-\xE9t\xE9", "X-\xE9t\xE9",
     "x-\xE9T\xE9"},
};

TEST(ChangeCase, EveryModeOnEveryName) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(changeCase(row.input, CaseMode::EveryWordCapital), row.words);
    EXPECT_EQ(changeCase(row.input, CaseMode::AllUpper), row.upper);
    EXPECT_EQ(changeCase(row.input, CaseMode::AllLower), row.lower);
    EXPECT_EQ(changeCase(row.input, CaseMode::FirstUpperRestLower), row.firstUpper);
    EXPECT_EQ(changeCase(row.input, CaseMode::FirstLowerRestUpper), row.firstLower);
  }
}

}  // namespace
