#include "platform/program_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "engine/path.h"
#include "engine/run_error.h"

namespace skorvatin::platform {

std::string programFolder() {
  // /proc/self/exe is already resolved by the kernel; realpath() settles any link in its parents.
  std::unique_ptr<char, decltype(&std::free)> real(realpath("/proc/self/exe", nullptr), &std::free);
  if (!real) throw RunError::fromErrno(errno, "/proc/self/exe");
  return parentPath(real.get());
}

std::string currentFolder() {
  std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
  return cwd ? std::string(cwd.get()) : std::string("/");
}

bool userMayRenameIn(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  // The effective ids decide what the program may do, not the real ones.
  return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool startsInOwnFolder(const std::string& folder, bool ownedByUser, bool mayRename) {
  for (const std::string_view prefix : {"/usr", "/opt"}) {
    if (folder.starts_with(prefix) && (folder.size() == prefix.size() || folder[prefix.size()] == '/'))
      return false;
  }
  return ownedByUser && mayRename;
}

bool isOwnFolder(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0) return false;
  return startsInOwnFolder(folder, st.st_uid == geteuid(), userMayRenameIn(folder));
}

}  // namespace skorvatin::platform
