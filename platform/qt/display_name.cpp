#include "platform/qt/display_name.h"

#include "engine/utf8.h"

namespace skorvatin::platform::qt {

QString displayName(std::string_view bytes) {
  // Nearly every name is valid UTF-8: find the first stray byte before building anything, and
  // leave the common case to Qt's own decoder.
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const utf8::Unit unit = utf8::decodeAt(bytes, pos);
    if (!unit.valid) break;
    pos += unit.length;
  }
  if (pos == bytes.size()) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));

  static constexpr char kHex[] = "0123456789ABCDEF";
  QString shown = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(pos));
  std::string run;  // valid characters since the last stray byte, decoded together
  const auto flush = [&] {
    shown += QString::fromUtf8(run.data(), static_cast<qsizetype>(run.size()));
    run.clear();
  };
  while (pos < bytes.size()) {
    const utf8::Unit unit = utf8::decodeAt(bytes, pos);
    if (unit.valid) {
      run.append(bytes.substr(pos, unit.length));
    } else {
      flush();
      const auto byte = static_cast<unsigned>(unit.cp & 0xFFu);
      shown += QLatin1String("\\x");
      shown += QLatin1Char(kHex[byte >> 4]);
      shown += QLatin1Char(kHex[byte & 0xFu]);
    }
    pos += unit.length;
  }
  flush();
  return shown;
}

}  // namespace skorvatin::platform::qt
