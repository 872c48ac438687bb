// Writes ZelkWAF.ico, the program's file icon, from the drawn application
// art (16, 32 and 48 pixels). Run it natively after changing the art:
//   g++ -std=c++17 -I. manager/shell/resources/make_icon.cpp manager/shell/icon_art.cpp -o
//   /tmp/make_icon /tmp/make_icon manager/shell/resources/ZelkWAF.ico
// The shell tests check that the committed file matches the art.
#include <cstdio>
#include <fstream>

#include "manager/shell/icon_art.h"

int main(int argc, char** argv) {
  using namespace zelk::manager::shell;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.ico>\n", argv[0]);
    return 2;
  }
  const std::string ico = IcoFile({Draw(Art::kApp, 16), Draw(Art::kApp, 32), Draw(Art::kApp, 48)});
  std::ofstream out(argv[1], std::ios::binary);
  out.write(ico.data(), static_cast<std::streamsize>(ico.size()));
  if (!out) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
