#pragma once

#include <functional>

namespace skorvatin {

// Lets pending window events run once. The engine calls it exactly where the window's event
// procedures let events run, and never between two renames of a batch.
using EventPump = std::function<void()>;

// Asked after events have run at a pause of a batch: whether the program is to end, so that a batch
// that can still be taken back stops there and is taken back.
using StopRequest = std::function<bool()>;

}  // namespace skorvatin
