#pragma once

#include <string>
#include <vector>

namespace skorvatin::ui {

// What the program was asked to do by its arguments, read before any window or display exists, so
// that --help and --version work over ssh too.
struct CommandLine {
  enum class Action { OpenWindow, PrintHelp, PrintVersion, RefuseUsage };
  Action action = Action::OpenWindow;
  // The folder to show first, absolute; empty when none was given.
  std::string folder;
  // For RefuseUsage: what was wrong, in Polish, for standard error.
  std::string complaint;
};

// `arguments` without the program's own name. A relative folder is taken from `currentFolder`.
// Qt's own options (-style fusion, -platform …) are left for Qt to read.
CommandLine parseCommandLine(const std::vector<std::string>& arguments, const std::string& currentFolder);

// The usage text --help prints, in Polish, ending in a new line.
std::string usageText();

}  // namespace skorvatin::ui
