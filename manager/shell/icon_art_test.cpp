#include "manager/shell/icon_art.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace zelk::manager::shell {
namespace {

std::uint32_t Alpha(std::uint32_t argb) { return argb >> 24; }

const Art kAll[] = {Art::kApp,        Art::kFirewall,  Art::kSqlInjection, Art::kTraffic,
                    Art::kMasking,    Art::kAntiVirus, Art::kMonitor,      Art::kTamper,
                    Art::kSettings,   Art::kLogs,      Art::kHelp,         Art::kWhiteList,
                    Art::kApplyGlyph, Art::kOkGlyph};

// Every picture at every size has a visible body, transparent corners (the
// icons are rounded or shaped, never full squares) and smooth edges
// (partly transparent pixels).
TEST(IconArt, EveryPictureHasABodyTransparentCornersAndSmoothEdges) {
  for (Art art : kAll) {
    for (int size : {16, 32, 48}) {
      SCOPED_TRACE(testing::Message() << "art " << static_cast<int>(art) << " size " << size);
      const Picture p = Draw(art, size);
      ASSERT_EQ(p.pixels.size(), static_cast<std::size_t>(size * size));
      int opaque = 0, partial = 0;
      for (std::uint32_t px : p.pixels) {
        opaque += Alpha(px) == 255;
        partial += Alpha(px) > 0 && Alpha(px) < 255;
      }
      EXPECT_GT(opaque, size * size / 16);
      EXPECT_GT(partial, 0);
      EXPECT_EQ(Alpha(p.at(0, 0)), 0u);
      EXPECT_EQ(Alpha(p.at(size - 1, size - 1)), 0u);
    }
  }
}

TEST(IconArt, TheElevenTreeIconsAreDistinct) {
  std::set<std::vector<std::uint32_t>> seen;
  for (int i = 0; i <= 10; ++i) EXPECT_TRUE(seen.insert(Draw(TreeArt(i), 16).pixels).second) << i;
}

// The file icon compiled into ZelkWAF.exe is the drawn application art.
TEST(IconArt, CommittedFileIconIsTheDrawnApplicationArt) {
  const std::string path = std::string(ZELK_SOURCE_DIR) + "/manager/shell/resources/ZelkWAF.ico";
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  const std::string committed((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
  EXPECT_TRUE(committed == IcoFile({Draw(Art::kApp, 16), Draw(Art::kApp, 32), Draw(Art::kApp, 48)}))
      << "regenerate with manager/shell/resources/make_icon.cpp";
}

TEST(IconArt, IcoFileDirectoryPointsAtEachImage) {
  const Picture p16 = Draw(Art::kApp, 16), p32 = Draw(Art::kApp, 32);
  const std::string ico = IcoFile({p16, p32});
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(ico[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(ico[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(ico[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(ico[at + 3])) << 24;
  };
  ASSERT_GE(ico.size(), 38u);
  EXPECT_EQ(ico[2], 1);  // icon
  EXPECT_EQ(ico[4], 2);  // two images
  // 16 x 16: 40-byte header, 16*16*4 colour bytes, 16 rows of 4 mask bytes.
  EXPECT_EQ(u32(6 + 8), 40u + 1024u + 64u);
  EXPECT_EQ(u32(6 + 12), 6u + 32u);
  EXPECT_EQ(u32(22 + 12), 6u + 32u + 1128u);
  EXPECT_EQ(ico.size(), 6u + 32u + 1128u + (40u + 4096u + 128u));
  // The first colour pixel is the bottom-left one, stored B, G, R, A.
  const std::uint32_t bottom_left = p16.at(0, 15);
  EXPECT_EQ(u32(6 + 32 + 40), bottom_left);
}

}  // namespace
}  // namespace zelk::manager::shell
