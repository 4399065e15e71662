#pragma once

#include <QStyledItemDelegate>

namespace skorvatin::ui {

// The rows of the folder, drive and file lists: never lower than 13 pixels at 96 dpi, whatever
// font the desktop substitutes, so a long list of names stays readable.
class RowDelegate : public QStyledItemDelegate {
 public:
  static constexpr int kMinimumRowHeight = 13;

  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (size.height() < kMinimumRowHeight) size.setHeight(kMinimumRowHeight);
    return size;
  }
};

}  // namespace skorvatin::ui
