#pragma once

namespace skorvatin::ui {

// How much larger than drawn the window is built on this desktop.
struct WindowScale {
  double text = 1.0;      // the captions' 8 points are multiplied by this
  double geometry = 1.0;  // pixels per drawn pixel: the text's growth, and the logical DPI's over 96
};

// A desktop font larger than a normal one (11 points, as GNOME's and KDE's default ones are at
// most) asks for larger text, and the window grows with it so that no caption is cut. Points
// already follow the logical DPI, pixels do not, so the geometry follows it too: Xft.dpi 192 with
// Qt's own scaling off doubles the window as it doubles its fonts. A font of unknown size (given
// in pixels) counts as normal.
inline WindowScale windowScale(double desktopFontPoints, double logicalDpi) {
  constexpr double kNormalDesktopPoints = 11.0;
  constexpr double kDrawnDpi = 96.0;
  WindowScale scale;
  if (desktopFontPoints > kNormalDesktopPoints) scale.text = desktopFontPoints / kNormalDesktopPoints;
  scale.geometry = scale.text * (logicalDpi > 0 ? logicalDpi / kDrawnDpi : 1.0);
  return scale;
}

}  // namespace skorvatin::ui
