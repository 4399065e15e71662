#pragma once

#include <string>

namespace skorvatin {

enum class ReplaceMode { SpacesToUnderscores, UnderscoresToSpaces, PolishToPlain };

// The name with the selected replacement made; as many characters as the name, stray bytes kept.
std::string Litery2(const std::string& name, ReplaceMode mode);

}  // namespace skorvatin
