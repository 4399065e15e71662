#pragma once

#include <functional>

// The platform tests' own renameat2 (defined in tests/platform/posix_folder_test.cpp) takes the
// place of the C library's, so a test can make the system answer the way a FUSE file system, an
// old kernel or a failing disk would. Without a script it passes every call straight to the kernel.
namespace fake_renameat2 {
extern int calls;
// Given the 1-based call number and both names; returns an errno to fail with, or 0 to pass on.
extern std::function<int(int, const char*, const char*)> script;
}  // namespace fake_renameat2
