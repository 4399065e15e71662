#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/event_pump.h"
#include "engine/file_list.h"
#include "engine/folder.h"
#include "engine/folder_snapshot.h"
#include "engine/journal.h"
#include "engine/journaled_batch.h"
#include "engine/rename_preview.h"
#include "engine/run_error.h"

namespace skorvatin {

// What "Numeruj" numbers with: the texts of the window's boxes as they stand when the run starts,
// and the user's decimal separator for fractional numbers ("," under a Polish locale).
struct NumberingSettings {
  std::string start = "1";
  std::string step = "1";
  std::string prefix = "Plik";
  std::string suffix;  // the text after the number
  bool leadingZeros = false;
  std::string decimalSeparator = ",";
};

// The extension of a name that carries the run's temporary suffix ("Raport.txt.q" → ".txt"), or ""
// when the name before the suffix has no dot.
std::string extensionBeforeSuffix(const std::string& name);

// The number the last of `count` files gets: start + (count - 1) × step, start and step rounded to
// whole numbers; error 6 beyond 32 bits. Its length is the width of the leading zeros.
std::int32_t lastNumber(std::int32_t count, const NumberingSettings& settings);

// "Numeruj": one numbering run over the files the list shows.
//
// The run is all or nothing. Every temporary and final name is worked out and checked against the
// folder before the first rename; a rename that still fails midway puts every file back under its
// original name. After any failure the list is re-read once, so that it shows the folder as it is,
// and the error is thrown for the window to report.
//
// With a journal, the whole plan is made durable before the first rename and marked finished when
// the run is done or fully undone, so that a run cut off by a crash can be taken back at the next
// start, and a finished one undone later. A run that cannot write its journal does not start.
class NumberingRun {
 public:
  NumberingRun(FileList& list, NumberingSettings settings, EventPump pump, JournalStore* journal = nullptr);

  // Asked at each pause up to the one that follows the last rename; when it says yes, the run
  // stops and is undone, both passes.
  void setStopRequest(StopRequest stop) { stop_ = std::move(stop); }

  // The whole run; throws RunError when it stops.
  void run();

  // What run() would rename, and what its check would refuse, with nothing renamed and nothing
  // written down: the plan and the check alone. One run object serves one of the two.
  RenamePreview preview();

 private:
  void plan();
  void computeFinalNames();
  void check() const;
  bool heldByStranger(const std::string& name) const;

  void suffixPass();
  void numberingPass();
  void showResult();
  void rename(std::size_t file, const std::string& from, const std::string& to);
  void letEventsRun();
  void pause();
  [[noreturn]] void rollBack(RunError error);
  [[noreturn]] void reReadAndThrow(RunError error);

  FileList& list_;
  NumberingSettings settings_;
  std::int32_t width_ = 0;  // of the leading zeros, 0 for none
  bool previewing_ = false;
  EventPump pump_;
  JournalStore* journal_;
  StopRequest stop_;
  std::optional<JournaledBatch> batch_;

  std::unique_ptr<Folder> folder_;
  std::optional<FolderSnapshot> snapshot_;
  std::string prefix_;
  // Every file of the run in list order, with its three names: the journal's plan and the run's
  // own record at once.
  BatchPlan plan_;
  std::vector<PlannedFile>& files_ = plan_.files;
  std::vector<std::size_t> entries_;  // each file's entry in the snapshot, where names are exact
  std::vector<std::size_t> ordered_;  // numbering order: list order of the temporary names
  std::size_t suffixed_ = 0;          // files, in list order, that carry their temporary name
  std::size_t numbered_ = 0;          // files, in numbering order, that carry their final name
  std::vector<bool> batchEntry_;      // snapshot entries that are files of the batch (exact names)
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> batchById_;  // the same, case-blind
};

}  // namespace skorvatin
