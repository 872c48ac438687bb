// The manager's pictures, drawn in code: the window and notification icon,
// the eleven tree icons, the page emblems and the two button glyphs. Each is
// a few flat shapes in one colour family with white detail, described in unit
// coordinates so that one design serves 16, 32 and 48 pixels. Shapes are
// rendered with 4 x 4 samples per pixel (smooth edges) into straight
// (not premultiplied) RGBA, which the Win32 side turns into icons.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelk::manager::shell {

// size x size pixels, row by row from the top, each 0xAARRGGBB.
struct Picture {
  int size = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * size + x]; }
};

enum class Art {
  kApp,
  // tree icons by their index 0..10
  kFirewall,
  kSqlInjection,
  kTraffic,
  kMasking,
  kAntiVirus,
  kMonitor,
  kTamper,
  kSettings,
  kLogs,
  kHelp,
  kWhiteList,
  // button glyphs
  kApplyGlyph,
  kOkGlyph,
};

// The art of tree icon index 0..10 (the image list's order).
Art TreeArt(int icon_index);

Picture Draw(Art art, int size);

// An .ico file holding the pictures (32-bit colour with alpha, and the
// AND mask older systems read), in the order given.
std::string IcoFile(const std::vector<Picture>& pictures);

}  // namespace zelk::manager::shell
