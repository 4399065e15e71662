#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/file_list.h"
#include "engine/run_error.h"
#include "engine/services.h"

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
  virtual std::string DecimalSeparator() = 0;
};

// "Numeruj": the numbering run. The window owns one for its whole life, so that
// SzerokoscNumeru and CiagZer keep their values from one run to the next.
//
// The run is all or nothing. Every temporary and final name is worked out and checked before the
// first rename; a rename that still fails midway puts every file back under its original name.
class NumberingRun {
 public:
  NumberingRun(FileList& list, NumberingOptions& options, RenameService& renamer, EventPump pump);

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

  // The final re-read, with the events let through around it.
  void KońcoweOpcje();

  std::int32_t SzerokoscNumeru = 0;
  std::string CiagZer;

 private:
  struct BatchFile {
    std::string original;   // listed name
    std::string temporary;  // original + ".q"
    std::string final;
    dev_t dev = 0;  // filled only when names are looked up one by one
    ino_t ino = 0;
  };
  struct Renamed {
    std::size_t file;
    std::string from;
    std::string to;
  };
  struct Batch {
    std::string folderPrefix;
    std::vector<BatchFile> files;      // list order before the run
    std::vector<std::size_t> ordered;  // numbering order: list order of the temporary names
    std::vector<Renamed> journal;      // every rename done so far, oldest first
    // Every name in the folder before the run, when the folder compares names exactly; without
    // it each name is looked up on its own.
    std::optional<std::unordered_set<std::string>> present;
  };

  Batch plan();
  void computeFinalNames(Batch& batch);
  void check(const Batch& batch) const;

  void ZmieniajRozszerzenia(Batch& batch);
  void Go(Batch& batch);
  void rename(Batch& batch, std::size_t file, const std::string& from, const std::string& to);
  void letEventsRun();
  [[noreturn]] void rollBack(Batch& batch, RunError error);

  FileList& list_;
  NumberingOptions& options_;
  RenameService& renamer_;
  EventPump pump_;
};

}  // namespace skorvatin
