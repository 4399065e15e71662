// What each operation button would do, shown before it is clicked: a tooltip computed when it
// opens, and the same text as the button's description for a screen reader.
#include <QEvent>
#include <QHelpEvent>
#include <QPushButton>
#include <QTextDocument>
#include <QToolTip>
#include <new>

#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/rename_preview.h"
#include "engine/replacements.h"
#include "platform/qt/display_name.h"
#include "ui/frm_main.h"

namespace skorvatin::ui {

namespace {

// Shows the preview when a button's tooltip is asked for, and gives it to screen readers when the
// button takes the keyboard.
class PreviewOnRequest final : public QObject {
 public:
  PreviewOnRequest(frmMain& window, QPushButton* button) : QObject(button), window_(window), button_(button) {
    button->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != button_) return false;
    if (event->type() == QEvent::ToolTip) {
      const QString text = window_.previewFor(button_);
      button_->setAccessibleDescription(text);
      if (text.isEmpty()) {
        QToolTip::hideText();
      } else {
        // A file name such as "<b>.txt" is a name, not markup.
        QToolTip::showText(
            static_cast<QHelpEvent*>(event)->globalPos(),
            Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap) : text, button_);
      }
      return true;
    }
    if (event->type() == QEvent::FocusIn) button_->setAccessibleDescription(window_.previewFor(button_));
    return false;
  }

 private:
  frmMain& window_;
  QPushButton* button_;
};

}  // namespace

NameTransform frmMain::caseTransform() const {
  return [mode = caseMode()](const std::string& name) { return mode ? changeCase(name, *mode) : name; };
}

NameTransform frmMain::replaceTransform() const {
  return [mode = replaceMode()](const std::string& name) {
    return mode ? replaceCharacters(name, *mode) : name;
  };
}

void frmMain::wirePreviews() {
  for (QPushButton* button : {Command1, Command5, Command6}) new PreviewOnRequest(*this, button);
}

// Nothing while an operation runs: the list is being renamed under it.
QString frmMain::previewFor(const QPushButton* button) {
  if (holdBack_.active()) return {};
  RenamePreview preview;
  try {
    if (button == Command1) {
      preview = NumberingRun(list_, numberingSettings(), nullptr).preview();
    } else {
      preview = previewConversion(list_, button == Command5 ? caseTransform() : replaceTransform());
    }
  } catch (const std::bad_alloc&) {
    return {};  // a tooltip is not worth a report
  }
  return platform::qt::displayName(previewText(preview));
}

}  // namespace skorvatin::ui
