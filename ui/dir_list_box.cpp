#include "ui/dir_list_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cerrno>
#include <memory>

#include "engine/path.h"
#include "engine/run_error.h"
#include "engine/subfolders.h"
#include "platform/qt/display_name.h"
#include "ui/row_delegate.h"

namespace skorvatin::ui {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 12;

// Shifts each row right by its level, so the path reads as a staircase down to the current folder.
class IndentDelegate : public RowDelegate {
 public:
  using RowDelegate::RowDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.adjust(index.data(kLevelRole).toInt() * kIndentPixels, 0, 0, 0);
    RowDelegate::paint(painter, shifted, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = RowDelegate::sizeHint(option, index);
    size.rwidth() += index.data(kLevelRole).toInt() * kIndentPixels;
    return size;
  }
};

}  // namespace

DirListBox::DirListBox(FolderService& folders, const std::string& start, Entry entry, QWidget* parent)
    : QListWidget(parent), folders_(folders), entry_(std::move(entry)) {
  setItemDelegate(new IndentDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Some styles hand out large folder icons; a list of names reads better with small ones.
  const int small = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  setIconSize(QSize(small, small));
  // Double-click opens whatever the style says about single clicks, as the keyboard's Enter does.
  connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { openRow(row(item)); });
  // There is always somewhere to go from, even when the start cannot be shown.
  for (const std::string& folder : {start, std::string("/")}) {
    try {
      setPath(folder);
      break;
    } catch (const RunError&) {
      continue;  // the root is always there to go from
    }
  }
}

void DirListBox::setPath(const std::string& path) {
  const std::string folder = normalisedPath(path);
  if (folder.empty() || folder.front() != '/') throw RunError(err::PathNotFound, path);
  // Read first: a folder that cannot be read leaves the list as it was.
  const std::vector<std::string> subfolders = readSubfolders(folders_, folder);

  // The style makes its icons afresh at each call, decoding their pictures, which took a millisecond
  // and a half of every folder change; they are asked for once per style.
  if (openIcon_.isNull()) openIcon_ = style()->standardIcon(QStyle::SP_DirOpenIcon);
  if (closedIcon_.isNull()) closedIcon_ = style()->standardIcon(QStyle::SP_DirIcon);
  auto add = [this](const QIcon& icon, const QString& text, const std::string& full, int level) {
    auto* item = new QListWidgetItem(icon, text, this);
    item->setData(kPathRole, QByteArray::fromStdString(full));
    item->setData(kLevelRole, level);
  };

  clear();
  add(openIcon_, QStringLiteral("/"), "/", 0);
  int level = 0;
  std::string walked;
  for (std::size_t start = 1; start < folder.size();) {
    const std::size_t end = std::min(folder.find('/', start), folder.size());
    walked += '/';
    walked.append(folder, start, end - start);
    add(openIcon_, platform::qt::displayName(folder.substr(start, end - start)), walked, ++level);
    start = end + 1;
  }
  pathRows_ = count();
  for (const std::string& name : subfolders)
    add(closedIcon_, platform::qt::displayName(name), joinedPath(folder, name), level + 1);
  setCurrentRow(pathRows_ - 1);

  const bool differs = folder != path_;
  path_ = folder;
  if (differs) emit changed();
}

std::vector<std::string> DirListBox::rowPaths() const {
  std::vector<std::string> paths;
  for (int i = 0; i < count(); ++i) paths.push_back(item(i)->data(kPathRole).toByteArray().toStdString());
  return paths;
}

void DirListBox::openRow(int row) {
  if (row < 0 || row >= count()) return;
  const std::string target = item(row)->data(kPathRole).toByteArray().toStdString();
  if (entry_) {
    entry_([&] { setPath(target); });
  } else {
    setPath(target);
  }
}

void DirListBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::StyleChange) {
    openIcon_ = QIcon();
    closedIcon_ = QIcon();
  }
  QListWidget::changeEvent(event);
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    openRow(currentRow());
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

}  // namespace skorvatin::ui
