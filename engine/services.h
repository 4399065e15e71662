#pragma once

#include <functional>
#include <string>

namespace skorvatin {

// Lets pending window events run once. The engine calls it exactly where the window's original
// event procedures let events run; a test passes a counter or a no-op.
using EventPump = std::function<void()>;

// The one way the engine renames a file. An implementation never replaces another file and throws
// RunError when the rename cannot be done; both paths lie in the same folder.
class RenameService {
 public:
  virtual ~RenameService() = default;
  virtual void Rename(const std::string& oldPath, const std::string& newPath) = 0;
};

}  // namespace skorvatin
