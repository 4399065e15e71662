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
#include "engine/run_error.h"

namespace skorvatin {

// The options of a numbering run, read from the window's controls at the moment the run needs
// them (the window implements this; tests fake it).
class NumberingOptions {
 public:
  virtual ~NumberingOptions() = default;
  virtual std::string Text1() = 0;  // start number
  virtual std::string Text2() = 0;  // step
  virtual std::string Text3() = 0;  // prefix of the new names
  virtual std::string Text5() = 0;  // text after the number
  virtual int Check1Value() = 0;    // 1 when "Użyj zer wiodących" is ticked
  // The user's decimal separator, for fractional number texts ("," under a Polish locale).
  virtual std::string decimalSeparator() = 0;
};

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
  NumberingRun(FileList& list, NumberingOptions& options, EventPump pump, JournalStore* journal = nullptr);

  // Asked at each pause up to the one that follows the last rename; when it says yes, the run
  // stops and is undone, both passes.
  void setStopRequest(StopRequest stop) { stop_ = std::move(stop); }

  // The whole run; throws RunError when it stops.
  void Command1_Click();

  // The last number of the run, for the width of the leading zeros.
  std::int32_t ObliczOstatniNumer();
  // The number text of the file at 0-based position `index`; leaves index increased by one.
  std::string Numer(std::int32_t& index, const std::int32_t& step);
  // Fills CiagZer with SzerokoscNumeru zeros.
  void Zera();
  // The extension of a suffixed name ("Raport.txt.q" → ".txt"), or "" when it has no dot.
  static std::string WyłuskajRozszerzenie(const std::string& name);

  // The width of the leading zeros and the zeros themselves, for this run.
  std::int32_t SzerokoscNumeru = 0;
  std::string CiagZer;

 private:
  void plan();
  void finishJournal(BatchEnd end);
  void computeFinalNames();
  void check() const;
  bool heldByStranger(const std::string& name) const;

  void ZmieniajRozszerzenia();
  void Go();
  void KońcoweOpcje();
  void rename(std::size_t file, const std::string& from, const std::string& to);
  void letEventsRun();
  void pause();
  [[noreturn]] void rollBack(RunError error);
  [[noreturn]] void reReadAndThrow(RunError error);

  FileList& list_;
  NumberingOptions& options_;
  EventPump pump_;
  JournalStore* journal_;
  StopRequest stop_;
  std::optional<BatchId> batch_;

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
