#include "manager/shell/icon_art.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace zelk::manager::shell {
namespace {

using Shape = std::function<bool(double x, double y)>;  // unit coordinates, y down

struct Rgb {
  int r, g, b;
};

class Canvas {
 public:
  explicit Canvas(int size) : size_(size), r_(Area()), g_(Area()), b_(Area()), a_(Area()) {}

  // Paints the shape in a colour over what is there (source-over).
  void Fill(const Shape& inside, Rgb c, double opacity = 1.0) {
    constexpr int kSamples = 4;
    for (int y = 0; y < size_; ++y) {
      for (int x = 0; x < size_; ++x) {
        int hits = 0;
        for (int sy = 0; sy < kSamples; ++sy) {
          for (int sx = 0; sx < kSamples; ++sx) {
            const double ux = (x + (sx + 0.5) / kSamples) / size_;
            const double uy = (y + (sy + 0.5) / kSamples) / size_;
            hits += inside(ux, uy) ? 1 : 0;
          }
        }
        if (hits == 0) continue;
        const double src_a = opacity * hits / (kSamples * kSamples);
        const std::size_t i = static_cast<std::size_t>(y) * size_ + x;
        const double dst_a = a_[i];
        const double out_a = src_a + dst_a * (1 - src_a);
        auto blend = [&](double dst, int src) {
          return out_a <= 0 ? 0.0 : (src * src_a + dst * dst_a * (1 - src_a)) / out_a;
        };
        r_[i] = blend(r_[i], c.r);
        g_[i] = blend(g_[i], c.g);
        b_[i] = blend(b_[i], c.b);
        a_[i] = out_a;
      }
    }
  }

  Picture Result() const {
    Picture p;
    p.size = size_;
    p.pixels.resize(Area());
    for (std::size_t i = 0; i < Area(); ++i) {
      auto byte = [](double v) {
        return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L));
      };
      p.pixels[i] =
          (byte(a_[i] * 255) << 24) | (byte(r_[i]) << 16) | (byte(g_[i]) << 8) | byte(b_[i]);
    }
    return p;
  }

 private:
  std::size_t Area() const { return static_cast<std::size_t>(size_) * size_; }
  int size_;
  std::vector<double> r_, g_, b_, a_;
};

// Shapes -------------------------------------------------------------------

Shape Circle(double cx, double cy, double radius) {
  return [=](double x, double y) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  };
}

Shape Ring(double cx, double cy, double outer, double inner) {
  return [=](double x, double y) {
    const double d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    return d <= outer * outer && d >= inner * inner;
  };
}

Shape RoundRect(double x0, double y0, double x1, double y1, double radius) {
  return [=](double x, double y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    const double cx = std::clamp(x, x0 + radius, x1 - radius);
    const double cy = std::clamp(y, y0 + radius, y1 - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  };
}

Shape Rect(double x0, double y0, double x1, double y1) { return RoundRect(x0, y0, x1, y1, 0); }

// A stroke of the given width between two points, with round ends.
Shape Segment(double ax, double ay, double bx, double by, double width) {
  return [=](double x, double y) {
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double px = ax + t * dx - x, py = ay + t * dy - y;
    return px * px + py * py <= width * width / 4;
  };
}

// Even-odd polygon fill.
Shape Polygon(std::vector<std::pair<double, double>> pts) {
  return [pts = std::move(pts)](double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
      const auto [xi, yi] = pts[i];
      const auto [xj, yj] = pts[j];
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
  };
}

Shape Union(Shape a, Shape b) {
  return [=](double x, double y) { return a(x, y) || b(x, y); };
}

Shape Minus(Shape a, Shape b) {
  return [=](double x, double y) { return a(x, y) && !b(x, y); };
}

constexpr Rgb kWhite{255, 255, 255};

// The rounded tile every tree icon stands on, lighter at the top.
void Tile(Canvas& c, Rgb base) {
  c.Fill(RoundRect(0.03, 0.03, 0.97, 0.97, 0.2), base);
  c.Fill(RoundRect(0.03, 0.03, 0.97, 0.5, 0.2), kWhite, 0.18);
}

Shape Shield(double inset) {
  const double l = 0.16 + inset, r = 0.84 - inset, t = 0.08 + inset;
  return Polygon({{0.5, t}, {r, t + 0.1}, {r, 0.5}, {0.5, 0.93 - inset}, {l, 0.5}, {l, t + 0.1}});
}

Shape CheckMark(double x0, double y0, double scale, double width) {
  return Union(Segment(x0, y0 + 0.18 * scale, x0 + 0.2 * scale, y0 + 0.38 * scale, width),
               Segment(x0 + 0.2 * scale, y0 + 0.38 * scale, x0 + 0.56 * scale, y0, width));
}

void DrawArt(Canvas& c, Art art) {
  switch (art) {
    case Art::kApp:
      c.Fill(Shield(0), Rgb{28, 84, 160});
      c.Fill(Shield(0.06), Rgb{58, 132, 214});
      // a "Z": two bars and the diagonal
      c.Fill(Rect(0.33, 0.3, 0.67, 0.39), kWhite);
      c.Fill(Rect(0.33, 0.6, 0.67, 0.69), kWhite);
      c.Fill(Polygon({{0.58, 0.38}, {0.67, 0.38}, {0.42, 0.61}, {0.33, 0.61}}), kWhite);
      break;
    case Art::kFirewall:
      Tile(c, Rgb{40, 106, 190});
      c.Fill(Shield(0.08), kWhite);
      c.Fill(Shield(0.17), Rgb{40, 106, 190});
      c.Fill(CheckMark(0.34, 0.38, 0.58, 0.09), kWhite);
      break;
    case Art::kSqlInjection: {
      // a database drum: body, rounded bottom, lighter top, one band
      Tile(c, Rgb{222, 124, 34});
      const auto ellipse = [](double cy) {
        return Shape([cy](double x, double y) {
          const double ex = (x - 0.5) / 0.25, ey = (y - cy) / 0.1;
          return ex * ex + ey * ey <= 1;
        });
      };
      c.Fill(Union(Rect(0.25, 0.3, 0.75, 0.72), ellipse(0.72)), kWhite);
      c.Fill(ellipse(0.3), Rgb{250, 220, 180});
      c.Fill(Segment(0.3, 0.51, 0.7, 0.51, 0.05), Rgb{222, 124, 34});
      break;
    }
    case Art::kTraffic:
      Tile(c, Rgb{46, 150, 82});
      c.Fill(Rect(0.2, 0.58, 0.34, 0.8), kWhite);
      c.Fill(Rect(0.43, 0.42, 0.57, 0.8), kWhite);
      c.Fill(Rect(0.66, 0.22, 0.8, 0.8), kWhite);
      break;
    case Art::kMasking: {
      Tile(c, Rgb{120, 76, 180});
      const Shape eye = [](double x, double y) {
        const double ex = (x - 0.5) / 0.34, ey = (y - 0.5) / 0.2;
        return ex * ex + ey * ey <= 1;
      };
      c.Fill(eye, kWhite);
      c.Fill(Circle(0.5, 0.5, 0.11), Rgb{120, 76, 180});
      c.Fill(Segment(0.2, 0.8, 0.8, 0.2, 0.1), Rgb{120, 76, 180});
      c.Fill(Segment(0.22, 0.78, 0.78, 0.22, 0.05), kWhite);
      break;
    }
    case Art::kAntiVirus:
      Tile(c, Rgb{204, 52, 52});
      c.Fill(Circle(0.5, 0.5, 0.3), kWhite);
      c.Fill(Rect(0.44, 0.3, 0.56, 0.7), Rgb{204, 52, 52});
      c.Fill(Rect(0.3, 0.44, 0.7, 0.56), Rgb{204, 52, 52});
      break;
    case Art::kMonitor:
      Tile(c, Rgb{24, 140, 150});
      c.Fill(RoundRect(0.18, 0.2, 0.82, 0.66, 0.05), kWhite);
      c.Fill(Rect(0.24, 0.26, 0.76, 0.6), Rgb{24, 140, 150});
      c.Fill(Rect(0.44, 0.66, 0.56, 0.76), kWhite);
      c.Fill(Rect(0.32, 0.76, 0.68, 0.82), kWhite);
      c.Fill(
          Union(Segment(0.28, 0.46, 0.42, 0.46, 0.06),
                Union(Segment(0.42, 0.46, 0.5, 0.32, 0.06), Segment(0.5, 0.32, 0.58, 0.52, 0.06))),
          kWhite);
      c.Fill(Segment(0.58, 0.52, 0.72, 0.46, 0.06), kWhite);
      break;
    case Art::kTamper:
      Tile(c, Rgb{176, 120, 24});
      c.Fill(Ring(0.43, 0.43, 0.24, 0.15), kWhite);
      c.Fill(Segment(0.6, 0.6, 0.8, 0.8, 0.14), kWhite);
      break;
    case Art::kSettings: {
      Tile(c, Rgb{88, 104, 130});
      Shape gear = Circle(0.5, 0.5, 0.24);
      for (int i = 0; i < 8; ++i) {
        const double a = i * 3.14159265358979 / 4;
        gear = Union(gear,
                     Segment(0.5, 0.5, 0.5 + 0.32 * std::cos(a), 0.5 + 0.32 * std::sin(a), 0.12));
      }
      c.Fill(Minus(gear, Circle(0.5, 0.5, 0.1)), kWhite);
      break;
    }
    case Art::kLogs:
      Tile(c, Rgb{70, 90, 160});
      c.Fill(Polygon({{0.26, 0.16}, {0.62, 0.16}, {0.76, 0.3}, {0.76, 0.84}, {0.26, 0.84}}),
             kWhite);
      c.Fill(Polygon({{0.62, 0.16}, {0.76, 0.3}, {0.62, 0.3}}), Rgb{190, 200, 230});
      for (double y : {0.42, 0.54, 0.66}) c.Fill(Rect(0.34, y, 0.68, y + 0.05), Rgb{70, 90, 160});
      break;
    case Art::kHelp:
      Tile(c, Rgb{36, 120, 200});
      c.Fill(Circle(0.5, 0.5, 0.34), kWhite);
      c.Fill(Minus(Ring(0.5, 0.4, 0.15, 0.07), Rect(0.0, 0.4, 0.5, 1.0)), Rgb{36, 120, 200});
      c.Fill(Segment(0.5, 0.55, 0.5, 0.6, 0.08), Rgb{36, 120, 200});
      c.Fill(Segment(0.6, 0.48, 0.5, 0.55, 0.08), Rgb{36, 120, 200});
      c.Fill(Circle(0.5, 0.72, 0.05), Rgb{36, 120, 200});
      break;
    case Art::kWhiteList:
      Tile(c, Rgb{30, 150, 130});
      for (double y : {0.26, 0.46, 0.66}) {
        c.Fill(Circle(0.26, y + 0.04, 0.05), kWhite);
        c.Fill(Rect(0.36, y, 0.8, y + 0.08), kWhite);
      }
      break;
    case Art::kApplyGlyph:
      c.Fill(CheckMark(0.16, 0.28, 1.2, 0.16), Rgb{34, 140, 60});
      break;
    case Art::kOkGlyph:
      c.Fill(Circle(0.5, 0.5, 0.46), Rgb{40, 106, 190});
      c.Fill(CheckMark(0.26, 0.34, 0.84, 0.13), kWhite);
      break;
  }
}

}  // namespace

Art TreeArt(int icon_index) {
  static constexpr Art kByIndex[] = {Art::kFirewall, Art::kSqlInjection, Art::kTraffic,
                                     Art::kMasking,  Art::kAntiVirus,    Art::kMonitor,
                                     Art::kTamper,   Art::kSettings,     Art::kLogs,
                                     Art::kHelp,     Art::kWhiteList};
  if (icon_index < 0 || icon_index > 10) return Art::kApp;
  return kByIndex[icon_index];
}

Picture Draw(Art art, int size) {
  Canvas c(size);
  DrawArt(c, art);
  return c.Result();
}

namespace {

void Put16(std::string* out, unsigned v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string* out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// One image of an .ico: BITMAPINFOHEADER (height doubled for the mask),
// BGRA rows bottom-up, then the 1-bit AND mask (set where transparent),
// rows padded to 32 bits.
std::string IcoImage(const Picture& p) {
  std::string out;
  Put32(&out, 40);
  Put32(&out, static_cast<std::uint32_t>(p.size));
  Put32(&out, static_cast<std::uint32_t>(p.size * 2));
  Put16(&out, 1);
  Put16(&out, 32);
  for (int i = 0; i < 6; ++i) Put32(&out, 0);
  for (int y = p.size - 1; y >= 0; --y) {
    for (int x = 0; x < p.size; ++x) {
      const std::uint32_t argb = p.at(x, y);
      Put32(&out, argb);  // little-endian 0xAARRGGBB is B, G, R, A
    }
  }
  const int mask_stride = ((p.size + 31) / 32) * 4;
  for (int y = p.size - 1; y >= 0; --y) {
    std::string row(static_cast<std::size_t>(mask_stride), '\0');
    for (int x = 0; x < p.size; ++x) {
      if ((p.at(x, y) >> 24) == 0)
        row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    }
    out += row;
  }
  return out;
}

}  // namespace

std::string IcoFile(const std::vector<Picture>& pictures) {
  std::string header;
  Put16(&header, 0);
  Put16(&header, 1);  // icon
  Put16(&header, static_cast<unsigned>(pictures.size()));
  std::string images;
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * pictures.size());
  for (const Picture& p : pictures) {
    const std::string image = IcoImage(p);
    header.push_back(static_cast<char>(p.size >= 256 ? 0 : p.size));
    header.push_back(static_cast<char>(p.size >= 256 ? 0 : p.size));
    header.push_back(0);  // no palette
    header.push_back(0);
    Put16(&header, 1);   // planes
    Put16(&header, 32);  // bits per pixel
    Put32(&header, static_cast<std::uint32_t>(image.size()));
    Put32(&header, offset);
    offset += static_cast<std::uint32_t>(image.size());
    images += image;
  }
  return header + images;
}

}  // namespace zelk::manager::shell
