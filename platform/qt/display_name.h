#pragma once

#include <QString>
#include <string_view>

namespace skorvatin::platform::qt {

// A file or folder name as the user reads it, wherever it is shown: the lists, the error report,
// the help message. Names are bytes; a byte that starts no UTF-8 character shows as \xNN (two
// upper-case hex digits), so the user can still tell which file is meant. A replacement mark
// would make two such names look alike.
QString displayName(std::string_view bytes);

}  // namespace skorvatin::platform::qt
