#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace skorvatin::testing {

// Runs a command without a shell, its output and errors appended to `log`. The exit status, or -1
// when it could not be started or did not exit.
inline int command(const std::vector<std::string>& args, const std::string& log) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& s : copy) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first word a command prints ("/dev/loop3" from losetup --show), or "" when it fails.
inline std::string commandWord(const std::vector<std::string>& args, const std::string& log) {
  std::ofstream(log, std::ios::trunc).close();
  if (command(args, log) != 0) return {};
  std::string word;
  std::ifstream(log) >> word;
  return word;
}

inline std::string fileText(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace skorvatin::testing
