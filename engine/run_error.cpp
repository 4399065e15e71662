#include "engine/run_error.h"

#include <cerrno>
#include <cstring>

namespace skorvatin {

std::string_view errorText(int number) {
  switch (number) {
    case err::Interrupted:
      return "Działanie przerwane";
    case err::Overflow:
      return "Przepełnienie";
    case err::OutOfMemory:
      return "Brak pamięci";
    case err::SubscriptOutOfRange:
      return "Indeks poza zakresem";
    case err::BadFileName:
      return "Zła nazwa pliku";
    case err::FileNotFound:
      return "Nie znaleziono pliku";
    case err::DeviceIo:
      return "Błąd wejścia/wyjścia urządzenia";
    case err::FileAlreadyExists:
      return "Plik już istnieje";
    case err::DiskFull:
      return "Dysk jest pełny";
    case err::TooManyFiles:
      return "Za dużo plików";
    case err::PermissionDenied:
      return "Brak uprawnień";
    case err::DiskNotReady:
      return "Dysk nie jest gotowy";
    case err::RenameAcrossDisks:
      return "Nie można zmienić nazwy na innym dysku";
    case err::PathFileAccess:
      return "Błąd dostępu do ścieżki lub pliku";
    case err::PathNotFound:
      return "Nie znaleziono ścieżki";
    case err::BadFileFormat:
      return "Nieprawidłowy format pliku";
    default:
      return "Błąd zdefiniowany przez aplikację lub obiekt";
  }
}

namespace {
std::string composeWhat(int number, const std::string& file, const std::string& detail) {
  std::string s = "Błąd " + std::to_string(number) + ": " + std::string(errorText(number));
  if (!file.empty()) s += ": " + file;
  if (!detail.empty()) s += " (" + detail + ")";
  return s;
}
}  // namespace

RunError::RunError(int number, std::string file, std::string detail)
    : std::runtime_error(composeWhat(number, file, detail)),
      number_(number),
      file_(std::move(file)),
      detail_(std::move(detail)) {}

RunError RunError::fromErrno(int errnum, std::string file) {
  int number = err::PathFileAccess;
  switch (errnum) {
    case ENOENT:
      number = err::FileNotFound;
      break;
    case ENOTDIR:
      number = err::PathNotFound;
      break;
    case EEXIST:
    case ENOTEMPTY:
      number = err::FileAlreadyExists;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      number = err::PermissionDenied;
      break;
    case ENOSPC:
    case EDQUOT:
      number = err::DiskFull;
      break;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      number = err::BadFileName;
      break;
    case EIO:
      number = err::DeviceIo;
      break;
    case EXDEV:
      number = err::RenameAcrossDisks;
      break;
    case EMFILE:
    case ENFILE:
      number = err::TooManyFiles;
      break;
    case ENOMEM:
      number = err::OutOfMemory;
      break;
    case ENOMEDIUM:
    case ENXIO:
    case ENODEV:
    case ESTALE:
    case ENOTCONN:
      number = err::DiskNotReady;
      break;
    default:
      break;  // EBUSY, ELOOP and the rest: a path/file access error
  }
  return RunError(number, std::move(file), std::strerror(errnum));
}

RunError withLaterFailure(const RunError& error, const RunError& later) {
  // The same failure twice (a folder that has gone fails the re-read too) says nothing new.
  if (later.number() == error.number() && later.file() == error.file()) return error;
  std::string detail = error.detail();
  if (!detail.empty()) detail += "; ";
  detail += later.what();
  RunError combined(error.number(), error.file(), detail);
  for (const MisplacedFile& m : error.misplaced()) combined.addMisplaced(m);
  return combined;
}

}  // namespace skorvatin
