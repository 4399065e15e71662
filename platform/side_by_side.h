#pragma once

#include <cstddef>
#include <functional>

namespace skorvatin::platform {

// Calls `visit(i)` once for every i below `count`, in no set order once it runs on threads, and
// returns when all calls have returned. `visit` must not throw.
//
// Meant for look-ups in one folder. Where each waits on a server or a slow reader, many can be in
// flight at once (the kernel serialises renames in a folder, not look-ups), so they go out side by
// side. Where the first few come back from memory, as on a local disk whose folder was just read,
// threads would cost more than they save, and the calls stay on the caller's thread.
void visitSideBySide(std::size_t count, const std::function<void(std::size_t)>& visit);

}  // namespace skorvatin::platform
