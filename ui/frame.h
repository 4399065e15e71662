#pragma once

#include <QFont>
#include <QGroupBox>

namespace skorvatin::ui {

// A titled frame as option groups were always drawn: the border runs through the middle of the
// caption, which interrupts it, and the controls inside keep the places the layout gives them,
// measured from the frame's top-left corner. Styles draw a group box's border below its title,
// where the first row of controls lies.
class Frame final : public QGroupBox {
  Q_OBJECT
 public:
  explicit Frame(const QString& title, QWidget* parent = nullptr);

  // The caption's font: the frame's own, made smaller when the caption does not fit across the
  // frame. The controls inside keep the frame's font.
  QFont titleFont() const;
  void setTitlePointSize(qreal points);
  // The width the caption takes with its gaps and its indents from both corners.
  int titleWidthNeeded() const;
  // Where the border runs: half the caption's height below the top.
  int borderTop() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  qreal titlePoints_ = 0;  // 0: the frame's own size
};

}  // namespace skorvatin::ui
