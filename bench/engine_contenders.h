#pragma once

#include <string>

#include "engine/file_list.h"

namespace skorvatin::bench {

// The engine's own operations, driven the way the window drives them but without a window: the
// options hold the window's defaults, the event pump does nothing, renames go through the
// program's rename service.
struct NumberingSettings {
  bool leadingZeros = false;
};
void engineNumbering(FileList& list, const NumberingSettings& settings);

enum class EngineConversion { Lower, SpacesToUnderscores };
void engineConversion(FileList& list, EngineConversion how);

}  // namespace skorvatin::bench
