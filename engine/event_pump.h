#pragma once

#include <functional>

namespace skorvatin {

// Lets pending window events run once. The engine calls it exactly where the window's event
// procedures let events run, and never between two renames of a batch.
using EventPump = std::function<void()>;

}  // namespace skorvatin
