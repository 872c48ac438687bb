#include "manager/shell/icon_art.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace zelk::manager::shell {
namespace {

std::uint32_t Alpha(std::uint32_t argb) { return argb >> 24; }

const Art kAll[] = {Art::kApp,     Art::kFirewall, Art::kSqlInjection, Art::kTraffic, Art::kMasking,
                    Art::kAntiVirus, Art::kMonitor, Art::kTamper,    Art::kSettings, Art::kLogs,
                    Art::kHelp,    Art::kWhiteList, Art::kApplyGlyph,  Art::kOkGlyph};

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

}  // namespace
}  // namespace zelk::manager::shell
