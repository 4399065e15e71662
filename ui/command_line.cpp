#include "ui/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "engine/path.h"

namespace skorvatin::ui {

namespace {

// The options every Qt program understands, with one or two leading dashes; the first group takes
// a value in the next argument.
constexpr std::array<std::string_view, 12> kQtOptionsWithValue = {"platform",        "platformpluginpath",
                                                                  "platformtheme",   "plugin",
                                                                  "qwindowgeometry", "qwindowicon",
                                                                  "qwindowtitle",    "style",
                                                                  "stylesheet",      "display",
                                                                  "geometry",        "session"};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& options, std::string_view name) {
  return std::find(options.begin(), options.end(), name) != options.end();
}

// "/a/./b/../c" → "/a/c", by the text alone as a shell's cd does: the folder list shows every
// component of the path as a row, and "." or ".." would be rows of nothing.
std::string withoutDots(const std::string& path) {
  std::vector<std::string_view> kept;
  std::string_view rest(path);
  while (!rest.empty()) {
    const std::size_t slash = std::min(rest.find('/'), rest.size());
    const std::string_view part = rest.substr(0, slash);
    rest.remove_prefix(std::min(slash + 1, rest.size()));
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  std::string out;
  for (const std::string_view part : kept) (out += '/') += part;
  return out.empty() ? "/" : out;
}

CommandLine refuse(std::string complaint) {
  return {CommandLine::Action::RefuseUsage, {}, std::move(complaint)};
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments, const std::string& currentFolder) {
  CommandLine result;
  bool optionsEnded = false;
  std::vector<std::string> folders;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument.front() != '-') {
      if (argument.empty()) return refuse("pusty argument zamiast nazwy folderu");
      if (argument == "-") return refuse("nieznana opcja: -");
      folders.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "--help" || argument == "-h") return {CommandLine::Action::PrintHelp, {}, {}};
    if (argument == "--version") {
      result.action = CommandLine::Action::PrintVersion;
      continue;  // a later --help still wins, as does a later mistake
    }
    std::string_view name(argument);
    name.remove_prefix(name.starts_with("--") ? 2 : 1);
    const std::size_t equals = name.find('=');
    const std::string_view bare = name.substr(0, equals);
    if (among(kQtOptionsWithValue, bare)) {
      if (equals == std::string_view::npos) {
        if (i + 1 == arguments.size()) return refuse("opcja " + argument + " wymaga wartości");
        ++i;
      }
      continue;
    }
    if (among(kQtFlags, name)) continue;
    return refuse("nieznana opcja: " + argument);
  }
  if (folders.size() > 1) return refuse("można podać tylko jeden folder");
  if (result.action == CommandLine::Action::PrintVersion) return result;
  if (!folders.empty()) {
    const std::string& given = folders.front();
    result.folder = withoutDots(given.front() == '/' ? given : joinedPath(currentFolder, given));
  }
  return result;
}

std::string usageText() {
  return "Użycie: skorvatin [FOLDER]\n"
         "Zmienia naraz nazwy plików jednego folderu: numeruje je, zmienia wielkość liter\n"
         "i zastępuje znaki. Okno pokazuje na starcie podany FOLDER.\n"
         "\n"
         "  --help      pokazuje ten opis i kończy\n"
         "  --version   pokazuje wersję i kończy\n"
         "\n"
         "Folder, którego nazwa zaczyna się od „-”, podaje się jako ./-nazwa albo po „--”.\n";
}

}  // namespace skorvatin::ui
