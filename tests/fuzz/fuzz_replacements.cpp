// Character replacements in all three modes keep every character's place and every stray byte,
// and leave nothing of what they replace. The one exception: a Polish letter written decomposed
// loses its combining mark, so Polish to plain keeps the places of the name less those marks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/replacements.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The name less every combining mark that, after the character before it, spells ą ę ó ś ź ż ć ń
// or a capital of one of them. A mark after a stray byte or after a mark that went stays.
std::string withoutComposingMarks(const std::string& name) {
  using skorvatin::utf8::Unit;
  const auto after = [](char32_t mark, char32_t letter) {
    std::u32string_view letters;
    if (mark == U'\u0328') letters = U"aeAE";
    if (mark == U'\u0301') letters = U"oszcnOSZCN";
    if (mark == U'\u0307') letters = U"zZ";
    return letter != 0 && letters.find(letter) != std::u32string_view::npos;
  };
  std::string out;
  char32_t previous = 0;
  for (std::size_t pos = 0; pos < name.size();) {
    const Unit u = skorvatin::utf8::decodeAt(name, pos);
    const bool drop = u.valid && after(u.cp, previous);
    if (!drop) out.append(name, pos, u.length);
    previous = u.valid && !drop ? u.cp : 0;
    pos += u.length;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skorvatin;
  const std::string name(reinterpret_cast<const char*>(data), size);

  const std::string underscores = replaceCharacters(name, ReplaceMode::SpacesToUnderscores);
  fuzz::checkTransformation("spaces to underscores", name, underscores);
  if (underscores.find(' ') != std::string::npos) fuzz::fail("a space is left", name, underscores);

  const std::string spaces = replaceCharacters(name, ReplaceMode::UnderscoresToSpaces);
  fuzz::checkTransformation("underscores to spaces", name, spaces);
  if (spaces.find('_') != std::string::npos) fuzz::fail("an underscore is left", name, spaces);

  const std::string plain = replaceCharacters(name, ReplaceMode::PolishToPlain);
  fuzz::checkTransformation("Polish to plain", withoutComposingMarks(name), plain);
  for (std::size_t pos = 0; pos < plain.size();) {
    const utf8::Unit u = utf8::decodeAt(plain, pos);
    for (const PolishLetter& letter : PolishLetterTable)
      if (u.valid && u.cp == letter.find) fuzz::fail("a Polish letter is left", name, plain);
    pos += u.length;
  }
  return 0;
}
