#include "engine/run_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using skorvatin::RunError;

TEST(RunError, MapsSystemErrorsToNumberedPolishErrorsNamingTheFile) {
  struct Row {
    const char* name;
    int errnum;
    int number;
    const char* text;
  };
  const Row rows[] = {
      {"missing", ENOENT, 53, "Nie znaleziono pliku"},
      {"exists", EEXIST, 58, "Plik już istnieje"},
      {"full", ENOSPC, 61, "Dysk jest pełny"},
      {"denied", EACCES, 70, "Brak uprawnień"},
      {"immutable", EPERM, 70, "Brak uprawnień"},
      {"read-only", EROFS, 70, "Brak uprawnień"},
      {"busy", EBUSY, 75, "Błąd dostępu do ścieżki lub pliku"},
      {"too long", ENAMETOOLONG, 52, "Zła nazwa pliku"},
      {"io", EIO, 57, "Błąd wejścia/wyjścia urządzenia"},
      {"no folder", ENOTDIR, 76, "Nie znaleziono ścieżki"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const RunError e = RunError::fromErrno(row.errnum, "/tmp/zdjęcie.jpg");
    EXPECT_EQ(e.number(), row.number);
    EXPECT_EQ(e.text(), row.text);
    EXPECT_EQ(e.file(), "/tmp/zdjęcie.jpg");
    EXPECT_NE(std::string(e.what()).find("/tmp/zdjęcie.jpg"), std::string::npos);
    EXPECT_EQ(std::string(e.what()).rfind("Błąd " + std::to_string(row.number) + ": ", 0), 0u);
  }
}

}  // namespace
