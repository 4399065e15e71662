#pragma once

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>

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

  // A name cut short shows whole in a tooltip; one that fits needs none.
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    if (isCut(option, index, view)) {
      // A name such as "<b>.txt" is a name, not markup.
      const QString name = index.data(Qt::DisplayRole).toString();
      QToolTip::showText(
          event->globalPos(),
          Qt::mightBeRichText(name) ? Qt::convertFromPlainText(name, Qt::WhiteSpaceNoWrap) : name, view);
    } else {
      QToolTip::hideText();
    }
    return true;
  }

  // Whether the row's text runs past what the view shows of it: a list may lay a row out as wide
  // as its text and let the viewport's edge cut it off.
  bool isCut(const QStyleOptionViewItem& option, const QModelIndex& index,
             const QAbstractItemView* view) const {
    QStyleOptionViewItem o(option);
    initStyleOption(&o, index);
    const int shown = std::min(o.rect.right(), view->viewport()->width() - 1) - o.rect.left() + 1;
    return sizeHint(o, index).width() > shown;
  }
};

}  // namespace skorvatin::ui
