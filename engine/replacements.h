#pragma once

#include <array>
#include <string>

namespace skorvatin {

enum class ReplaceMode { SpacesToUnderscores, UnderscoresToSpaces, PolishToPlain };

// One Polish letter with diacritic and the plain ASCII letter of the same case that replaces it.
struct PolishLetter {
  char32_t find;
  char replacement;
};

// The nine lower-case letters, then their capitals in the same order. No replacement is the find
// letter of another row, so the rows give the same result in any order; they are applied in this one.
inline constexpr std::array<PolishLetter, 18> PolishLetterTable{{
    {U'\u0119', 'e'},  // ę
    {U'\u00F3', 'o'},  // ó
    {U'\u0105', 'a'},  // ą
    {U'\u015B', 's'},  // ś
    {U'\u0142', 'l'},  // ł
    {U'\u017C', 'z'},  // ż
    {U'\u017A', 'z'},  // ź
    {U'\u0107', 'c'},  // ć
    {U'\u0144', 'n'},  // ń
    {U'\u0118', 'E'},  // Ę
    {U'\u00D3', 'O'},  // Ó
    {U'\u0104', 'A'},  // Ą
    {U'\u015A', 'S'},  // Ś
    {U'\u0141', 'L'},  // Ł
    {U'\u017B', 'Z'},  // Ż
    {U'\u0179', 'Z'},  // Ź
    {U'\u0106', 'C'},  // Ć
    {U'\u0143', 'N'},  // Ń
}};

// The name with the selected replacement made; as many characters as the name, stray bytes kept.
std::string Litery2(const std::string& name, ReplaceMode mode);

// The three option buttons of the replacement frame, as the window reads them at the moment of the call.
struct ReplaceOptions {
  bool option6 = false;  // spaces to underscores
  bool option7 = false;  // underscores to spaces
  bool option8 = false;  // Polish letters to plain ones
};

// The window's form: spaces to underscores when option6 is set, then underscores to spaces when
// option7 is set, then the letter table when option8 is set, each step on what the one before
// left. The buttons are exclusive, so in the window exactly one step changes anything.
std::string Litery2(const std::string& name, const ReplaceOptions& options);

}  // namespace skorvatin
