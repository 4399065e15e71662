#include "window_fixture.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QListView>
#include <QMouseEvent>
#include <algorithm>
#include <filesystem>
#include <fstream>

namespace skorvatin::testing {

void RecordingErrorReport::report(const RunError& error) {
  reports.push_back(
      {error.number(), QString::fromUtf8(error.text()), error.file(), platform::qt::errorReportText(error)});
  if (whileShown) whileShown();
}

WindowUnderTest::WindowUnderTest(const std::vector<std::string>& files) {
  for (const std::string& f : files) touch(f);
  const std::string folder = this->folder();
  window_ = std::make_unique<ui::frmMain>(
      ui::FrmMainServices{[folder] { return folder; }, messageBox, errors, folders_});
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
  const QAbstractItemModel* model = window_->File1->model();
  for (int i = 0; i < model->rowCount(); ++i) out.append(model->index(i, 0).data().toString());
  return out;
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
