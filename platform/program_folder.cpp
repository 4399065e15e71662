#include "platform/program_folder.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "engine/run_error.h"

namespace skorvatin::platform {

std::string programFolder() {
  // /proc/self/exe is already resolved by the kernel; realpath() settles any link in its parents.
  std::unique_ptr<char, decltype(&std::free)> real(realpath("/proc/self/exe", nullptr), &std::free);
  if (!real) throw RunError::fromErrno(errno, "/proc/self/exe");
  std::string exe(real.get());
  const auto slash = exe.rfind('/');
  return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

}  // namespace skorvatin::platform
