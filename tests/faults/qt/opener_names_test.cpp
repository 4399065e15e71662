// Folder names that a shell or a careless URL would break, handed to a real process through the
// desktop opener: the process must get exactly one argument, a file:// URL that leads back to
// exactly the folder's bytes.
#include <QByteArray>
#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/qt/desktop_opener.h"
#include "tests/support/temp_dir.h"

namespace skorvatin::platform::qt {
namespace {

class OpenerNames : public skorvatin::testing::TempDirTest {};

TEST_F(OpenerNames, EveryFolderNameReachesTheOpenerAsOneUrl) {
  // The opener's exit is watched from the event loop, which needs an application object.
  static int argc = 1;
  static char name[] = "opener_names_test";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  struct Row {
    const char* label;
    std::string name;
    const char* encoded;
  };
  const Row rows[] = {
      {"leading dash", "-rf", "-rf"},
      {"quotes", "it's \"so\"", "it%27s%20%22so%22"},
      {"semicolon", "a;b", "a%3Bb"},
      {"command substitution", "$(touch pwned)", "%24%28touch%20pwned%29"},
      {"newline", "line\nbreak", "line%0Abreak"},
      {"not UTF-8", "caf\xE9 \xFF", "caf%E9%20%FF"},
      {"emoji",
       "\xF0\x9F\x98\x80 zdj\xC4\x99"
       "cia",
       "%F0%9F%98%80%20zdj%C4%99cia"},
      {"decomposed Polish", "z\xCC\x87o\xCC\x81\xC5\x82w", "z%CC%87o%CC%81%C5%82w"},
      {"URL syntax", "100% #1 ?x=&y", "100%25%20%231%20%3Fx%3D%26y"},
  };
  // Stands in for the file manager: writes how many arguments it got and the first one, byte for
  // byte, then renames the file into place so the test never reads half of it.
  const std::string recorder = path("recorder.sh");
  const std::string record = path("argument");
  std::ofstream(recorder) << "#!/bin/sh\nprintf '%s\\n%s' \"$#\" \"$1\" > '" << record << ".part' && mv '"
                          << record << ".part' '" << record << "'\n";
  std::filesystem::permissions(recorder, std::filesystem::perms::owner_all);
  XdgOpener opener(QString::fromStdString(recorder));

  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string folder = path(row.name);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    std::filesystem::remove(record);
    bool failed = false;
    opener.openFolder(folder, [&](const std::string&) { failed = true; });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(record) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::exists(record)) << "the opener was not started";
    std::ifstream in(record, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, "1\nfile://" + dir() + "/" + row.encoded);
    const std::string url = written.substr(written.find('\n') + 1);
    EXPECT_EQ(QByteArray::fromPercentEncoding(QByteArray::fromStdString(url.substr(7))).toStdString(),
              folder);
    EXPECT_FALSE(std::filesystem::exists(path("pwned")));
    QCoreApplication::processEvents();
    EXPECT_FALSE(failed);
  }
}

}  // namespace
}  // namespace skorvatin::platform::qt
