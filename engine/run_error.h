#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace skorvatin {

// Error numbers in the style of the classic run-time errors, so a user (or a support forum)
// recognises "Błąd 58" at once.
namespace err {
inline constexpr int Overflow = 6;
inline constexpr int Interrupted = 18;  // the program was told to end while a batch ran
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int BadFileName = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int DeviceIo = 57;
inline constexpr int FileAlreadyExists = 58;
inline constexpr int DiskFull = 61;
inline constexpr int TooManyFiles = 67;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskNotReady = 71;
inline constexpr int RenameAcrossDisks = 74;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
// The program's own record of a batch is damaged or was altered: it is not acted on.
inline constexpr int BadFileFormat = 321;
}  // namespace err

// The Polish text shown for an error number.
std::string_view errorText(int number);

// The error number the user sees for a system error (an errno value such as ENOENT).
int errorNumberFor(int errnum);

// A file that a failed and only partly undone operation left under another name than the one
// the user knows it by.
struct MisplacedFile {
  std::string currentPath;
  std::string originalPath;
};

// The one exception type every operation stops with. It carries the number, the standard text
// and the file concerned; `detail` adds what the system said, `misplaced` what an undo could not put back.
class RunError : public std::runtime_error {
 public:
  explicit RunError(int number, std::string file = {}, std::string detail = {});

  int number() const { return number_; }
  std::string_view text() const { return errorText(number_); }
  const std::string& file() const { return file_; }
  const std::string& detail() const { return detail_; }
  const std::vector<MisplacedFile>& misplaced() const { return misplaced_; }
  void addMisplaced(MisplacedFile f) { misplaced_.push_back(std::move(f)); }

  // Maps a system errno to the error the user sees, naming the file.
  static RunError fromErrno(int errnum, std::string file);

 private:
  int number_;
  std::string file_;
  std::string detail_;
  std::vector<MisplacedFile> misplaced_;
};

// `error` with a failure that followed it (a re-read after a stopped operation) added to its detail:
// what stopped the operation is what the user must see first.
RunError withLaterFailure(const RunError& error, const RunError& later);

}  // namespace skorvatin
