#include "ui/drive_list_box.h"

#include <QAccessibleWidget>

#include "engine/run_error.h"
#include "platform/qt/display_name.h"

namespace skorvatin::ui {

namespace {

// On Linux Qt names a combo box after its current value for a screen reader, meaning a label to
// name it through a relation. The drive box has no label: its own name is its name here.
class DriveListAccessible final : public QAccessibleWidget {
 public:
  explicit DriveListAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
  QString text(QAccessible::Text t) const override {
    const auto* box = static_cast<const QComboBox*>(widget());
    if (t == QAccessible::Name && !box->accessibleName().isEmpty()) return box->accessibleName();
    if (t == QAccessible::Value) return box->currentText();
    return QAccessibleWidget::text(t);
  }
  QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
  void doAction(const QString& action) override {
    if (action == showMenuAction() || action == pressAction()) {
      static_cast<QComboBox*>(widget())->showPopup();
    } else {
      QAccessibleWidget::doAction(action);
    }
  }
};

QAccessibleInterface* driveListAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String(DriveListBox::staticMetaObject.className()) && object != nullptr &&
      object->isWidgetType()) {
    return new DriveListAccessible(static_cast<QComboBox*>(object));
  }
  return nullptr;
}

}  // namespace

using platform::qt::displayName;

DriveListBox::DriveListBox(std::shared_ptr<platform::VolumeService> volumes, const std::string& start,
                           QWidget* parent)
    : QComboBox(parent), volumes_(std::move(volumes)) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(driveListAccessible);
    return true;
  }();
  (void)factoryInstalled;
  fill(start);
  connect(this, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) emit changed();
  });
}

std::string DriveListBox::drive() const {
  return currentData().toByteArray().toStdString();
}

std::vector<std::string> DriveListBox::mountPoints() const {
  std::vector<std::string> points;
  for (int i = 0; i < count(); ++i) points.push_back(itemData(i).toByteArray().toStdString());
  return points;
}

void DriveListBox::setDrive(const std::string& path) {
  const std::string point = platform::volumeOf(mountPoints(), path);
  const int index = findData(QByteArray::fromStdString(point));
  if (index >= 0) setCurrentIndex(index);  // raises changed() only when the selection moves
}

void DriveListBox::refreshVolumes() {
  fill(count() > 0 ? drive() : std::string("/"));
}

void DriveListBox::fill(const std::string& selectedPath) {
  std::vector<platform::Volume> list;
  try {
    list = volumes_->list();
  } catch (const RunError&) {
    // Without /proc the root is still there to show; the folder list works the same.
    list = {platform::Volume{"/", {}, {}, {}}};
  }
  filling_ = true;
  clear();
  for (const platform::Volume& v : list) {
    QString text = displayName(v.mountPoint);
    if (!v.label.empty()) text += QStringLiteral(" [") + displayName(v.label) + QStringLiteral("]");
    addItem(text, QByteArray::fromStdString(v.mountPoint));
  }
  const int index = findData(QByteArray::fromStdString(platform::volumeOf(mountPoints(), selectedPath)));
  setCurrentIndex(index >= 0 ? index : 0);
  filling_ = false;
}

void DriveListBox::showPopup() {
  refreshVolumes();
  emit droppingDown();
  QComboBox::showPopup();
}

}  // namespace skorvatin::ui
