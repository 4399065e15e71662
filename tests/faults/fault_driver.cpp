// Runs one operation of the engine on a folder, with the real rename service, for the fault tests:
// they start it in a child process with the failing-rename shim preloaded (or with dropped
// privileges) and check the folder afterwards. What the operation reported goes to stdout as
// lines of hex-encoded fields, so that names with newlines or stray bytes come back exactly.
// Every batch keeps its journal where the program keeps it ($XDG_STATE_HOME/skorvatin), so that
// a driver killed in the middle leaves what the program would leave.
//
//   fault_driver number <folder> [start=1] [step=1] [prefix=Plik] [after=] [zeros=0] [mask=*.*]
//   fault_driver case <folder> upper|lower
//   fault_driver replace <folder> spaces|underscores|polish
//   fault_driver recover      every unfinished batch, newest first, as the window's "Tak" does;
//                             one line "recovered <files renamed> <folder>" per batch and one
//                             "missing <path>" per file found under none of its names, "changed
//                             <path>" per file renamed since, or "left-alone held|finished";
//                             SKORVATIN_STOP_BEFORE_ANSWER stops it (SIGSTOP) between the listing
//                             and the first restore
//   fault_driver undo         the newest batch of the undo history, as Ctrl+Z does;
//                             "undone <files renamed> <folder>"
//
// Exit status: 0 done, 3 stopped with a RunError (reported), 4 any other exception, 2 bad usage.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/batch_restore.h"
#include "engine/conversion_pass.h"
#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/replacements.h"
#include "engine/run_error.h"
#include "platform/journal_folder.h"
#include "platform/posix_folder.h"
#include "tests/support/engine_fakes.h"

namespace {

using namespace skorvatin;

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out.empty() ? "-" : out;
}

int usage() {
  std::fputs("usage: fault_driver number|case|replace <folder> ... | recover | undo\n", stderr);
  return 2;
}

void printRestored(const char* key, const RestoreReport& report) {
  if (report.leftAlone != LeftAlone::No) {
    std::printf("left-alone %s\n", report.leftAlone == LeftAlone::HeldElsewhere ? "held" : "finished");
    return;
  }
  std::printf("%s %zu %s\n", key, report.renamed, hex(report.folderPath).c_str());
  for (const std::string& path : report.missing) std::printf("missing %s\n", hex(path).c_str());
  for (const ChangedFile& f : report.changedSince) std::printf("changed %s\n", hex(f.path).c_str());
}

int run(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string operation = argv[1];
  platform::PosixFolders folders;
  const std::unique_ptr<JournalStore> journal = platform::userJournal();
  FileList list(folders);
  if (operation == "recover") {
    const std::vector<PendingRestore> pending = pendingRestores(*journal, folders);
    // A user who takes a while over the question: the test continues the driver when it likes.
    if (std::getenv("SKORVATIN_STOP_BEFORE_ANSWER") != nullptr) ::raise(SIGSTOP);
    for (const PendingRestore& batch : pending)
      printRestored("recovered", recoverBatch(*journal, list, nullptr, batch.id));
    return 0;
  }
  if (operation == "undo") {
    const std::vector<FinishedBatch> history = journal->history();
    if (history.empty()) throw std::runtime_error("the undo history is empty");
    printRestored("undone", undoBatch(*journal, list, nullptr, history.front().id));
    return 0;
  }
  if (argc < 3) return usage();
  std::map<std::string, std::string> values;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto eq = arg.find('=');
    values[eq == std::string::npos ? arg : arg.substr(0, eq)] =
        eq == std::string::npos ? "" : arg.substr(eq + 1);
  }
  const auto get = [&values](const std::string& key, const std::string& fallback) {
    const auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  };
  NumberingSettings options;
  options.start = get("start", "1");
  options.step = get("step", "1");
  options.prefix = get("prefix", "Plik");
  options.suffix = get("after", "");
  options.leadingZeros = std::stoi(get("zeros", "0")) != 0;
  const EventPump pump = [] {};
  list.setPath(argv[2]);
  list.setPattern(get("mask", "*.*"));

  if (operation == "number") {
    NumberingRun run(list, options, pump, journal.get());
    run.run();
  } else if (operation == "case" || operation == "replace") {
    if (argc < 4) return usage();
    const std::string mode = argv[3];
    NameTransform transform;
    if (mode == "upper") transform = [](const std::string& n) { return changeCase(n, CaseMode::AllUpper); };
    if (mode == "lower") transform = [](const std::string& n) { return changeCase(n, CaseMode::AllLower); };
    if (mode == "spaces")
      transform = [](const std::string& n) { return replaceCharacters(n, ReplaceMode::SpacesToUnderscores); };
    if (mode == "underscores")
      transform = [](const std::string& n) { return replaceCharacters(n, ReplaceMode::UnderscoresToSpaces); };
    if (mode == "polish")
      transform = [](const std::string& n) { return replaceCharacters(n, ReplaceMode::PolishToPlain); };
    if (!transform) return usage();
    testing::SilentPassView view;
    runConversionPass(list, view, pump, transform, journal.get());
  } else {
    return usage();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const RunError& e) {
    std::printf("number %d\n", e.number());
    std::printf("file %s\n", hex(e.file()).c_str());
    std::printf("what %s\n", hex(e.what()).c_str());
    for (const MisplacedFile& m : e.misplaced())
      std::printf("misplaced %s %s\n", hex(m.currentPath).c_str(), hex(m.originalPath).c_str());
    return 3;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fault_driver: %s\n", e.what());
    return 4;
  }
}
