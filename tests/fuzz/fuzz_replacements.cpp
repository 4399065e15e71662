// Character replacements in all three modes keep every character's place and every stray byte,
// and leave nothing of what they replace.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/replacements.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skorvatin;
  const std::string name(reinterpret_cast<const char*>(data), size);

  const std::string underscores = Litery2(name, ReplaceMode::SpacesToUnderscores);
  fuzz::checkTransformation("spaces to underscores", name, underscores);
  if (underscores.find(' ') != std::string::npos) fuzz::fail("a space is left", name, underscores);

  const std::string spaces = Litery2(name, ReplaceMode::UnderscoresToSpaces);
  fuzz::checkTransformation("underscores to spaces", name, spaces);
  if (spaces.find('_') != std::string::npos) fuzz::fail("an underscore is left", name, spaces);

  const std::string plain = Litery2(name, ReplaceMode::PolishToPlain);
  fuzz::checkTransformation("Polish to plain", name, plain);
  for (std::size_t pos = 0; pos < plain.size();) {
    const utf8::Unit u = utf8::decodeAt(plain, pos);
    for (const PolishLetter& letter : PolishLetterTable)
      if (u.valid && u.cp == letter.find) fuzz::fail("a Polish letter is left", name, plain);
    pos += u.length;
  }
  return 0;
}
