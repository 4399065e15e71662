#pragma once

#include <string>

namespace skorvatin {

enum class CaseMode { EveryWordCapital, AllUpper, AllLower, FirstUpperRestLower, FirstLowerRestUpper };

// The name with its letter case changed; as many characters as the name, stray bytes kept.
// The empty name gives the empty text in every mode.
std::string changeCase(const std::string& name, CaseMode mode);

}  // namespace skorvatin
