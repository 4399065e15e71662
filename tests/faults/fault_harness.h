#pragma once

// What every fault test needs: a snapshot of a folder (name → inode and content hash) to compare
// before and after, and a way to run the engine in a child process under the failing-rename shim.

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/conversion_pass.h"
#include "engine/numbering_run.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace skorvatin::faults {

using Options = NumberingSettings;
using View = testing::SilentPassView;

struct FileState {
  ino_t inode = 0;
  std::uint64_t hash = 0;
  bool operator==(const FileState&) const = default;
};

// Every entry of a folder, by its raw name. Only regular files are expected in these folders; any
// other kind of entry gets inode 0 so that it shows as a difference.
using Snapshot = std::map<std::string, FileState>;

inline std::uint64_t contentHash(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
  char c;
  while (in.get(c)) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ULL;
  }
  return h;
}

inline Snapshot snapshot(const std::string& folder) {
  Snapshot out;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return out;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat st {};
    FileState state;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) state = {st.st_ino, contentHash(path)};
    out[name] = state;
  }
  ::closedir(dir);
  return out;
}

inline std::string unhex(const std::string& text) {
  if (text == "-") return {};
  std::string out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
  return out;
}

struct RenameCall {
  long number = 0;
  int result = 0;
  int error = 0;
  std::string from;
  std::string to;
};

// One batch that the driver's recover or undo mode took back.
struct Restored {
  std::size_t renamed = 0;
  std::string folder;
  bool operator==(const Restored&) const = default;
};

// What one run of the driver left behind: how it ended, what it reported, and every rename call
// the shim counted.
struct DriverResult {
  int exitStatus = -1;
  int number = 0;
  std::string file;
  std::string what;
  std::vector<std::pair<std::string, std::string>> misplaced;  // current path, original path
  std::vector<Restored> restored;
  std::vector<std::string> missing;  // full paths of files a recovery found under none of their names
  std::string leftAlone;             // "held" or "finished": a recovery or undo that did nothing
  std::vector<RenameCall> calls;
  std::string stderrText;
};

// The environment every driver gets unless the run sets these itself: its journals in the
// scratch folder (never the user's own), and the shim counting only the renames in the folder
// under test, so that the journal's own renames shift no call number.
inline std::vector<std::string> driverDefaults(const std::string& scratch) {
  return {"XDG_STATE_HOME=" + scratch + "/state", "SKORVATIN_RENAME_FOLDER=" + scratch + "/files"};
}

struct DriverRun {
  explicit DriverRun(std::vector<std::string> arguments, std::vector<std::string> environment = {})
      : args(std::move(arguments)), env(std::move(environment)) {}
  std::vector<std::string> args;     // after the driver's own path
  std::vector<std::string> env;      // NAME=value added to the inherited environment
  std::vector<std::string> wrapper;  // a command the driver runs under (setpriv ...), or none
  std::string driver = SKORVATIN_FAULT_DRIVER;
  bool preloadShim = true;
};

// A driver on its way; `scratch` holds its report, call log and stderr.
struct StartedDriver {
  pid_t pid = -1;
  std::string scratch;
};

// Starts the driver. `scratch` is a folder outside the one under test for the report, the call
// log, stderr and the journals; two drivers at once need a scratch folder each.
inline StartedDriver startDriver(const DriverRun& run, const std::string& scratch) {
  const std::string out = scratch + "/driver.out";
  const std::string err = scratch + "/driver.err";
  const std::string log = scratch + "/renames.log";
  ::unlink(out.c_str());
  ::unlink(err.c_str());
  ::unlink(log.c_str());

  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string kv = *e;
    if (kv.rfind("LD_PRELOAD=", 0) == 0 || kv.rfind("SKORVATIN_", 0) == 0 ||
        kv.rfind("ASAN_OPTIONS=", 0) == 0 || kv.rfind("XDG_STATE_HOME=", 0) == 0)
      continue;
    envStrings.push_back(kv);
  }
  if (run.preloadShim) envStrings.push_back(std::string("LD_PRELOAD=") + SKORVATIN_FAIL_RENAME_SHIM);
  envStrings.push_back("SKORVATIN_RENAME_LOG=" + log);
  // A sanitized driver must accept the shim ahead of its own runtime in the preload order.
  envStrings.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1");
  for (const std::string& kv : run.env) envStrings.push_back(kv);
  for (const std::string& kv : driverDefaults(scratch)) {
    const std::string key = kv.substr(0, kv.find('=') + 1);
    if (std::none_of(run.env.begin(), run.env.end(),
                     [&](const std::string& e) { return e.rfind(key, 0) == 0; }))
      envStrings.push_back(kv);
  }

  std::vector<std::string> argStrings = run.wrapper;
  argStrings.push_back(run.driver);
  argStrings.insert(argStrings.end(), run.args.begin(), run.args.end());

  std::vector<char*> argv;
  for (std::string& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return {spawned == 0 ? pid : -1, scratch};
}

// The exit status of a driver that stopped itself (SIGSTOP) and waits to be continued.
inline constexpr int kDriverStopped = -2;

// Waits for the driver to end, or, with `untilStopped`, until it stops itself, and reads what it
// left. A stopped driver goes on when it gets SIGCONT; wait for it again then.
inline DriverResult waitDriver(const StartedDriver& started, bool untilStopped = false) {
  DriverResult result;
  if (started.pid < 0) return result;
  int status = 0;
  ::waitpid(started.pid, &status, untilStopped ? WUNTRACED : 0);
  if (WIFSTOPPED(status)) {
    result.exitStatus = kDriverStopped;
    return result;
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const std::string out = started.scratch + "/driver.out";
  const std::string err = started.scratch + "/driver.err";
  const std::string log = started.scratch + "/renames.log";

  std::ifstream report(out);
  std::string line;
  while (std::getline(report, line)) {
    std::istringstream fields(line);
    std::string key, a, b;
    fields >> key >> a >> b;
    if (key == "number") result.number = std::stoi(a);
    if (key == "file") result.file = unhex(a);
    if (key == "what") result.what = unhex(a);
    if (key == "misplaced") result.misplaced.emplace_back(unhex(a), unhex(b));
    if (key == "recovered" || key == "undone") result.restored.push_back({std::stoul(a), unhex(b)});
    if (key == "missing") result.missing.push_back(unhex(a));
    if (key == "left-alone") result.leftAlone = a;
  }
  std::ifstream errors(err);
  result.stderrText.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());

  std::ifstream calls(log);
  while (std::getline(calls, line)) {
    RenameCall call;
    const auto tab1 = line.find('\t');
    const auto tab2 = line.find('\t', tab1 + 1);
    std::istringstream head(line.substr(0, tab1));
    head >> call.number >> call.result >> call.error;
    call.from = line.substr(tab1 + 1, tab2 - tab1 - 1);
    call.to = line.substr(tab2 + 1);
    result.calls.push_back(call);
  }
  return result;
}

// Runs the driver to its end.
inline DriverResult runDriver(const DriverRun& run, const std::string& scratch) {
  return waitDriver(startDriver(run, scratch));
}

// A test's own temporary area: the folder under test ("files") and, beside it, the driver's
// report and call log, so that neither ever shows in the snapshots.
class FaultTest : public skorvatin::testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    folder_ = dir() + "/files";
    ASSERT_EQ(::mkdir(folder_.c_str(), 0755), 0);
  }
  const std::string& folder() const { return folder_; }
  std::string inFolder(const std::string& name) const { return folder_ + "/" + name; }
  // Creates the files with distinct contents, so a swap or an overwrite changes a hash.
  void makeFiles(const std::vector<std::string>& names) const {
    for (const std::string& n : names) std::ofstream(inFolder(n), std::ios::binary) << "content of " << n;
  }
  // Fresh folder for the next round of a loop.
  void resetFolder() {
    std::filesystem::remove_all(folder_);
    ASSERT_EQ(::mkdir(folder_.c_str(), 0755), 0);
  }

 private:
  std::string folder_;
};

// The names of a snapshot that end in the temporary suffix of a numbering run.
inline std::vector<std::string> suffixedNames(const Snapshot& s) {
  std::vector<std::string> out;
  for (const auto& [name, state] : s)
    if (name.size() >= 2 && name.compare(name.size() - 2, 2, ".q") == 0) out.push_back(name);
  return out;
}

}  // namespace skorvatin::faults
