// Folder names that a shell or a careless URL would break, handed to a real process through the
// desktop opener: the process must get back exactly the folder's bytes.
#include <QByteArray>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/qt/desktop_opener.h"
#include "tests/support/temp_dir.h"

namespace skorvatin::platform::qt {
namespace {

class OpenerNames : public skorvatin::testing::TempDirTest {};

TEST_F(OpenerNames, EveryFolderNameReachesTheOpenerIntact) {
  struct Row {
    const char* label;
    std::string name;
  };
  const Row rows[] = {
      {"leading dash", "-rf"},
      {"quotes", "it's \"so\""},
      {"semicolon", "a;b"},
      {"command substitution", "$(touch pwned)"},
      {"newline", "line\nbreak"},
      {"not UTF-8", "caf\xE9 \xFF"},
      {"emoji",
       "\xF0\x9F\x98\x80 zdj\xC4\x99"
       "cia"},
      {"decomposed Polish", "z\xCC\x87o\xCC\x81\xC5\x82w"},
      {"URL syntax", "100% #1 ?x=&y"},
  };
  // Stands in for the file manager: writes its one argument, byte for byte, then renames the
  // file into place so the test never reads half of it.
  const std::string recorder = path("recorder.sh");
  const std::string record = path("argument");
  std::ofstream(recorder) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record << ".part' && mv '" << record
                          << ".part' '" << record << "'\n";
  std::filesystem::permissions(recorder, std::filesystem::perms::owner_all);
  XdgOpener opener(QString::fromStdString(recorder));

  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string folder = path(row.name);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    std::filesystem::remove(record);
    opener.openFolder(folder);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(record) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::exists(record)) << "the opener was not started";
    std::ifstream in(record, std::ios::binary);
    const std::string argument((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(argument.rfind("file://", 0), 0U) << argument;
    EXPECT_EQ(QByteArray::fromPercentEncoding(QByteArray::fromStdString(argument.substr(7))).toStdString(),
              folder);
    EXPECT_FALSE(std::filesystem::exists(path("pwned")));
  }
}

}  // namespace
}  // namespace skorvatin::platform::qt
