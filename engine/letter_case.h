#pragma once

#include <string>

namespace skorvatin {

enum class CaseMode { EveryWordCapital, AllUpper, AllLower, FirstUpperRestLower, FirstLowerRestUpper };

// The name with its letter case changed; as many characters as the name, stray bytes kept.
// The empty name gives the empty text in every mode.
std::string Litery(const std::string& name, CaseMode mode);

// The five option buttons of the case frame, as the window reads them at the moment of the call.
struct CaseOptions {
  bool option1 = false;  // every word with a capital
  bool option2 = false;  // all upper
  bool option3 = false;  // all lower
  bool option4 = false;  // first upper, rest lower
  bool option5 = false;  // first lower, rest upper
};

// The window's form: the first selected button in the order 2, 3, 4, 5, 1 decides the mode. The
// buttons form one exclusive group, so none selected cannot happen in the window; should it
// happen all the same, the name comes back unchanged and the rename that follows is a no-op.
std::string Litery(const std::string& name, const CaseOptions& options);

}  // namespace skorvatin
