#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skorvatin {

// A file mask as the user types it: "*" any run of characters, "?" exactly one character (a Polish
// letter is one character), letters compared without regard to case, several masks separated by
// ";". A mask ending in ".*" also matches names without a dot ("*.*" matches everything). Blanks
// around each mask are ignored; an empty mask matches every file.
class FileMask {
 public:
  explicit FileMask(std::string_view pattern);
  bool matches(std::string_view name) const;
  bool matchesEverything() const { return matchAll_; }

 private:
  struct Alternative {
    std::u32string folded;  // '*' and '?' kept as themselves, everything else case-folded
    bool dotStarOptional;   // the mask ends in ".*": a name without a dot may match without it
  };
  static bool wildcardMatch(std::u32string_view mask, std::u32string_view name);

  std::vector<Alternative> alternatives_;
  bool matchAll_ = false;
};

}  // namespace skorvatin
