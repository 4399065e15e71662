#include "ui/frame.h"

#include <qdrawutil.h>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace skorvatin::ui {

namespace {
constexpr int kTitleIndent = 6;  // from the border's corner to the caption's gap
constexpr int kTitleGap = 2;     // clear space on either side of the caption
}  // namespace

Frame::Frame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

QFont Frame::titleFont() const {
  QFont f = font();
  if (titlePoints_ > 0) f.setPointSizeF(titlePoints_);
  return f;
}

void Frame::setTitlePointSize(qreal points) {
  titlePoints_ = points;
  update();
}

int Frame::titleWidthNeeded() const {
  return 2 * (kTitleIndent + kTitleGap) + QFontMetrics(titleFont()).horizontalAdvance(title());
}

int Frame::borderTop() const {
  return QFontMetrics(titleFont()).height() / 2;
}

void Frame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // An etched line drawn here rather than by the style: styles put a titled group box's border
  // below the caption whatever rectangle they are given.
  qDrawShadeRect(&painter, rect().adjusted(0, borderTop(), 0, 0), palette(), true, 1, 0);

  // The caption covers the border where it crosses it.
  const QFont font = titleFont();
  const QFontMetrics metrics(font);
  const QRect caption(kTitleIndent, 0, metrics.horizontalAdvance(title()) + 2 * kTitleGap, metrics.height());
  painter.fillRect(caption, palette().window());
  painter.setFont(font);
  style()->drawItemText(&painter, caption, Qt::AlignCenter, palette(), isEnabled(), title(),
                        QPalette::WindowText);
}

}  // namespace skorvatin::ui
