#include "window_fixture.h"

#include <unistd.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QListView>
#include <QMouseEvent>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/program_folder.h"
#include "platform/qt/error_report.h"

namespace skorvatin::testing {

void RecordingMessageBox::MsgBox(const QString& text, const QString& title) {
  shown.append(title + QStringLiteral(": ") + text);
  if (whileShown) whileShown();
}

void RecordingMessageBox::report(const RunError& error) {
  reports.push_back(
      {error.number(), QString::fromUtf8(error.text()), error.file(), platform::qt::errorReportText(error)});
  if (whileShown) whileShown();
}

bool RecordingMessageBox::ask(const QString& text, const QString& title) {
  asked.append(title + QStringLiteral(": ") + text);
  if (whileShown) whileShown();
  if (answers.empty()) return answer;
  const bool given = answers.front();
  answers.pop_front();
  return given;
}

void RecordingOpener::openFolder(const std::string& folder, Failed failed) {
  folders.push_back(folder);
  lastFailed_ = std::move(failed);
}

void RecordingOpener::openDocument(const std::string& file, Failed failed) {
  documents.push_back(file);
  if (!documentOpens) throw RunError(err::FileNotFound, file);
  lastFailed_ = std::move(failed);
}

void RecordingOpener::failLater(const std::string& how) {
  if (lastFailed_) std::exchange(lastFailed_, {})(how);
}

void FakeVolumes::open(const std::string& mountPoint) {
  opened.push_back(mountPoint);
  if (unreadable.count(mountPoint)) throw RunError(err::DiskNotReady, mountPoint);
}

WindowUnderTest::WindowUnderTest(const std::vector<std::string>& files)
    : WindowUnderTest(WindowSetup{files, {}, {}, {}, {}}) {}

WindowUnderTest::WindowUnderTest(WindowSetup setup)
    : volumes(setup.volumes ? setup.volumes : std::make_shared<FakeVolumes>()),
      opener_(setup.opener ? setup.opener : std::make_shared<RecordingOpener>()) {
  for (const std::string& f : setup.files) touch(f);
  if (!setup.programFolder) setup.programFolder = [folder = folder()] { return folder; };
  window_ = std::make_unique<ui::frmMain>(ui::FrmMainServices{setup.programFolder, boxes, folders_, journal,
                                                              opener_, volumes, &platform::currentFolder,
                                                              &platform::isOwnFolder, setup.requestedFolder});
}

WindowUnderTest::~WindowUnderTest() = default;

void WindowUnderTest::touch(const std::string& name) const {
  std::ofstream(folder() + "/" + name, std::ios::binary) << name;
}

std::vector<std::string> WindowUnderTest::entries() const {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder()))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

QStringList WindowUnderTest::listed() const {
  QStringList out;
  const QAbstractItemModel* model = controls().File1->model();
  for (int i = 0; i < model->rowCount(); ++i) out.append(model->index(i, 0).data().toString());
  return out;
}

CurrentFolderScope::CurrentFolderScope(const std::string& folder) : previous_(platform::currentFolder()) {
  std::filesystem::current_path(folder);
}

CurrentFolderScope::~CurrentFolderScope() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
}

void postClick(QWidget* w) {
  const QPointF at = QRectF(w->rect()).center();
  const QPointF global = w->mapToGlobal(at);
  QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                 Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                 Qt::NoButton, Qt::NoModifier));
}

}  // namespace skorvatin::testing
