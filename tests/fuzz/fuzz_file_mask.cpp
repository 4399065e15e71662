// The mask matcher: the input up to its first newline is the mask, the rest the name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file_mask.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skorvatin;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\n');
  const std::string_view mask = input.substr(0, cut);
  const std::string_view name = cut == std::string_view::npos ? std::string_view{} : input.substr(cut + 1);

  const FileMask fileMask(mask);
  const bool matched = fileMask.matches(name);
  if (fileMask.matchesEverything() && !matched)
    fuzz::fail("a mask that matches everything refused a name", input);
  if (!FileMask("*").matches(name)) fuzz::fail("\"*\" refused a name", input);
  // A plain name, without wildcards, separators or blanks at its ends, is a mask that finds itself.
  const bool plain = !name.empty() && name.find_first_of("*?;") == std::string_view::npos &&
                     name.front() != ' ' && name.back() != ' ' && name.front() != '\t' && name.back() != '\t';
  if (plain && !FileMask(name).matches(name)) fuzz::fail("a name does not match itself as a mask", input);
  return 0;
}
