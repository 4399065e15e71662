// The program's icon, each drawn size read from the resources the first time it is drawn.
#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <array>

#include "ui/frm_main.h"

// The icons live in a static library; the linker keeps them only when they are asked for by name.
static void initIconResource() {
  Q_INIT_RESOURCE(icons);
}

namespace skorvatin::ui {

namespace {

constexpr std::array<int, 6> kDrawnSizes{16, 32, 48, 64, 128, 256};

// Every drawn size, so that a task switcher or a dock at any size need not blur a small one. Qt's
// own engine decodes each file as it is added: with the window's icon and the application's, twelve
// pictures up to 256 pixels, some 6 ms of every start spent on pictures that Wayland and the
// offscreen platform never ask for. This one knows its sizes without the files, and picks, scales
// and greys a size as Qt's engine does.
class DrawnSizesIcon final : public QIconEngine {
 public:
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->drawPixmap(rect, pixmap(rect.size() * painter->device()->devicePixelRatio(), mode, state));
  }

  // The smallest drawn size that covers the area asked for, else the largest, shrunk to fit.
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int drawn = kDrawnSizes[covering(size)];
    QSize actual(drawn, drawn);
    if (drawn > size.width() || drawn > size.height()) actual.scale(size, Qt::KeepAspectRatio);
    return actual;
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    const std::size_t i = covering(size);
    if (read_[i].isNull())
      read_[i] = QPixmap(QStringLiteral(":/skorvatin/skorvatin-%1.png").arg(kDrawnSizes[i]));
    QPixmap pixmap = read_[i];
    const QSize actual = actualSize(size, mode, state);
    if (pixmap.size() != actual)
      pixmap = pixmap.scaled(actual, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (mode == QIcon::Normal) return pixmap;
    // A disabled or selected icon as the style draws it, which is what Qt does for a mode that has
    // no picture of its own.
    QStyleOption option;
    option.palette = QGuiApplication::palette();
    return QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
  }

  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    QList<QSize> sizes;
    if (mode != QIcon::Normal || state != QIcon::Off) return sizes;
    for (const int drawn : kDrawnSizes) sizes.append(QSize(drawn, drawn));
    return sizes;
  }

  bool isNull() override { return false; }
  QIconEngine* clone() const override { return new DrawnSizesIcon(*this); }

 private:
  static std::size_t covering(const QSize& size) {
    const qint64 area = qint64{size.width()} * size.height();
    std::size_t i = 0;
    while (i + 1 < kDrawnSizes.size() && qint64{kDrawnSizes[i]} * kDrawnSizes[i] < area) ++i;
    return i;
  }

  std::array<QPixmap, kDrawnSizes.size()> read_;
};

}  // namespace

QIcon frmMain::programIcon() {
  initIconResource();
  return QIcon(new DrawnSizesIcon);
}

}  // namespace skorvatin::ui
