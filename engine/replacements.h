#pragma once

#include <array>
#include <string>

namespace skorvatin {

enum class ReplaceMode { SpacesToUnderscores, UnderscoresToSpaces, PolishToPlain };

// One Polish letter with diacritic and the plain ASCII letter of the same case that replaces it.
// Every one of them but ł and Ł is, decomposed, its plain letter followed by one combining mark;
// names copied from some systems are stored that way, and the pair is the same letter.
struct PolishLetter {
  char32_t find;
  char replacement;
  char32_t mark;  // the combining mark that follows `replacement` in the decomposed form; 0: none
};

// The nine lower-case letters, then their capitals in the same order. No replacement is the find
// letter of another row, so the rows give the same result in any order; they are applied in this one.
inline constexpr std::array<PolishLetter, 18> PolishLetterTable{{
    {U'\u0119', 'e', U'\u0328'},  // ę
    {U'\u00F3', 'o', U'\u0301'},  // ó
    {U'\u0105', 'a', U'\u0328'},  // ą
    {U'\u015B', 's', U'\u0301'},  // ś
    {U'\u0142', 'l', 0},          // ł
    {U'\u017C', 'z', U'\u0307'},  // ż
    {U'\u017A', 'z', U'\u0301'},  // ź
    {U'\u0107', 'c', U'\u0301'},  // ć
    {U'\u0144', 'n', U'\u0301'},  // ń
    {U'\u0118', 'E', U'\u0328'},  // Ę
    {U'\u00D3', 'O', U'\u0301'},  // Ó
    {U'\u0104', 'A', U'\u0328'},  // Ą
    {U'\u015A', 'S', U'\u0301'},  // Ś
    {U'\u0141', 'L', 0},          // Ł
    {U'\u017B', 'Z', U'\u0307'},  // Ż
    {U'\u0179', 'Z', U'\u0301'},  // Ź
    {U'\u0106', 'C', U'\u0301'},  // Ć
    {U'\u0143', 'N', U'\u0301'},  // Ń
}};

// The name with the selected replacement made, stray bytes kept as they are and where they are.
// Each character gives one character, but for a letter of the table written decomposed: its two
// characters give its one plain letter, so such a name comes back shorter.
std::string replaceCharacters(const std::string& name, ReplaceMode mode);

}  // namespace skorvatin
