#include "ui/file_list_model.h"

#include "platform/qt/display_name.h"

namespace skorvatin::ui {

FileListModel::FileListModel(FileList& list, QObject* parent) : QAbstractListModel(parent), list_(list) {
  // The list has already changed when it calls back; nothing reads the model in between, so a
  // reset that begins and ends here leaves no view looking at stale rows.
  list_.setOnChanged([this] {
    beginResetModel();
    endResetModel();
  });
}

FileListModel::~FileListModel() {
  list_.setOnChanged({});
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(list_.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= list_.size()) return {};
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  return platform::qt::displayName(list_.at(static_cast<std::size_t>(index.row())));
}

}  // namespace skorvatin::ui
