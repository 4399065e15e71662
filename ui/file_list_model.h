#pragma once

#include <QAbstractListModel>

#include "engine/file_list.h"

namespace skorvatin::ui {

// `File1`'s view of the engine's file list. The list is the one truth: the model keeps no copy,
// decodes a name only when the view asks for a row, and resets once per re-read, so a folder of
// 32767 names costs one reset rather than 32767 row insertions.
class FileListModel final : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit FileListModel(FileList& list, QObject* parent = nullptr);
  ~FileListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  FileList& list_;
};

}  // namespace skorvatin::ui
