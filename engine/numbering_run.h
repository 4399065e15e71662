#pragma once

#include <cstdint>
#include <string>

#include "engine/file_list.h"
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
class NumberingRun {
 public:
  NumberingRun(FileList& list, NumberingOptions& options, RenameService& renamer, EventPump pump);

  // The whole run; throws RunError when it stops.
  void Command1_Click();

  std::int32_t SzerokoscNumeru = 0;
  std::string CiagZer;

 private:
  FileList& list_;
  NumberingOptions& options_;
  RenameService& renamer_;
  EventPump pump_;
};

}  // namespace skorvatin
