#include "engine/run_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using namespace skorvatin;

TEST(RunError, MapsSystemErrorsToNumberedPolishErrorsNamingTheFile) {
  struct Row {
    const char* name;
    int errnum;
    int number;
    const char* shown;  // the number and text the user reads before the file
  };
  const Row rows[] = {
      {"missing", ENOENT, err::FileNotFound, "Błąd 53: Nie znaleziono pliku"},
      {"exists", EEXIST, err::FileAlreadyExists, "Błąd 58: Plik już istnieje"},
      {"full", ENOSPC, err::DiskFull, "Błąd 61: Dysk jest pełny"},
      {"denied", EACCES, err::PermissionDenied, "Błąd 70: Brak uprawnień"},
      {"immutable", EPERM, err::PermissionDenied, "Błąd 70: Brak uprawnień"},
      {"read-only", EROFS, err::PermissionDenied, "Błąd 70: Brak uprawnień"},
      {"busy", EBUSY, err::PathFileAccess, "Błąd 75: Błąd dostępu do ścieżki lub pliku"},
      {"too long", ENAMETOOLONG, err::BadFileName, "Błąd 52: Zła nazwa pliku"},
      {"io", EIO, err::DeviceIo, "Błąd 57: Błąd wejścia/wyjścia urządzenia"},
      {"no folder", ENOTDIR, err::PathNotFound, "Błąd 76: Nie znaleziono ścieżki"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const RunError e = RunError::fromErrno(row.errnum, "/tmp/zdjęcie.jpg");
    EXPECT_EQ(e.number(), row.number);
    EXPECT_EQ(e.file(), "/tmp/zdjęcie.jpg");
    // What the system said follows in brackets, in whatever language the system speaks.
    EXPECT_EQ(std::string(e.what()).rfind(std::string(row.shown) + ": /tmp/zdjęcie.jpg (", 0), 0u)
        << e.what();
  }
}

}  // namespace
