#pragma once

#include <QString>

#include "engine/run_error.h"

class QWidget;

namespace skorvatin::platform::qt {

// What the user reads when an operation stopped: the number and Polish text of the error, the file
// concerned, what the system said, and every file an undo had to leave under another name.
// A long list of such files is cut after twenty lines; the full list is then in the details.
QString errorReportText(const RunError& error);
QString errorReportDetails(const RunError& error);

// The title of every error report.
QString errorReportTitle();

class ErrorReport {
 public:
  virtual ~ErrorReport() = default;
  // Returns when the user has acknowledged the report.
  virtual void report(const RunError& error) = 0;
};

// A modal box with the exclamation icon and one OK button.
class QtErrorReport final : public ErrorReport {
 public:
  explicit QtErrorReport(QWidget* owner = nullptr) : owner_(owner) {}
  void setOwner(QWidget* owner) { owner_ = owner; }
  void report(const RunError& error) override;

 private:
  QWidget* owner_;
};

}  // namespace skorvatin::platform::qt
