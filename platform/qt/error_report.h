#pragma once

#include <QString>

#include "engine/run_error.h"

namespace skorvatin::platform::qt {

// What the user reads when an operation stopped: the number and Polish text of the error, the file
// concerned, what the system said, and every file an undo had to leave under another name.
// A long list of such files is cut after twenty lines; the full list is then in the details.
// MessageBox::report shows them.
QString errorReportText(const RunError& error);
QString errorReportDetails(const RunError& error);

// The title of every error report.
QString errorReportTitle();

}  // namespace skorvatin::platform::qt
