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

int errorNumberFor(int errnum) {
  switch (errnum) {
    case ENOENT:
      return err::FileNotFound;
    case ENOTDIR:
      return err::PathNotFound;
    case EEXIST:
    case ENOTEMPTY:
      return err::FileAlreadyExists;
    case EACCES:
    case EPERM:
    case EROFS:
      return err::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
      return err::DiskFull;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      return err::BadFileName;
    case EIO:
      return err::DeviceIo;
    case EXDEV:
      return err::RenameAcrossDisks;
    case EMFILE:
    case ENFILE:
      return err::TooManyFiles;
    case ENOMEM:
      return err::OutOfMemory;
    case ENOMEDIUM:
    case ENXIO:
    case ENODEV:
    case ESTALE:
    case ENOTCONN:
      return err::DiskNotReady;
    default:
      return err::PathFileAccess;  // EBUSY, ELOOP and the rest
  }
}

RunError RunError::fromErrno(int errnum, std::string file) {
  return RunError(errorNumberFor(errnum), std::move(file), std::strerror(errnum));
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
