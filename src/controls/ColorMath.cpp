#include "controls/ColorMath.h"

#include <algorithm>
#include <cmath>

namespace zd573::skin {

namespace {

int ToByte(float v) {
  v = std::clamp(v, 0.0f, 1.0f);
  return static_cast<int>(std::lround(v * 255.0f));
}

}  // namespace

QRgb ApplyColorMatrix(const ColorMatrix& m, QRgb pixel) {
  const std::array<float, 5> in{qRed(pixel) / 255.0f, qGreen(pixel) / 255.0f,
                                qBlue(pixel) / 255.0f, qAlpha(pixel) / 255.0f, 1.0f};
  std::array<int, 4> out{};
  for (int c = 0; c < 4; ++c) {
    float v = 0.0f;
    for (int r = 0; r < 5; ++r) v += in[r] * m[r][c];
    out[c] = ToByte(v);
  }
  return qRgba(out[0], out[1], out[2], out[3]);
}

QImage ApplyColorMatrix(const ColorMatrix& m, const QImage& image) {
  // Every product of a channel value with a matrix entry, made once: a pixel
  // then adds them up in the same order as the single-pixel version, so the
  // results are the same to the bit, without its divisions and products.
  std::array<std::array<std::array<float, 256>, 4>, 4> products;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      for (int v = 0; v < 256; ++v) products[r][c][v] = v / 255.0f * m[r][c];
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const std::array<int, 4> in{qRed(line[x]), qGreen(line[x]), qBlue(line[x]), qAlpha(line[x])};
      std::array<int, 4> result{};
      for (int c = 0; c < 4; ++c) {
        float v = 0.0f;
        for (int r = 0; r < 4; ++r) v += products[r][c][in[r]];
        result[c] = ToByte(v + m[4][c]);
      }
      line[x] = qRgba(result[0], result[1], result[2], result[3]);
    }
  }
  return out;
}

QImage ComposeOverWhite(QImage image) {
  // In place when the caller gave its only copy: no second picture in memory.
  image = std::move(image).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int a = qAlpha(line[x]);
      // Most pixels are opaque or clear: the sum below gives the colour itself or white.
      if (a == 255) continue;
      if (a == 0) {
        line[x] = 0xFFFFFFFFu;
        continue;
      }
      auto mix = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
      line[x] = qRgb(mix(qRed(line[x])), mix(qGreen(line[x])), mix(qBlue(line[x])));
    }
  }
  // Every pixel is opaque now.
  image.reinterpretAsFormat(QImage::Format_RGB32);
  return image;
}

std::vector<GradientBand> GradientBands(QRgb start, QRgb end, int left, int right) {
  std::vector<GradientBand> bands;
  const int width = right - left;
  const int steps = std::min(width, 100);
  if (steps <= 0) return bands;
  const int divisor = steps > 1 ? steps : 1;

  int r = qRed(start) * 256;
  int g = qGreen(start) * 256;
  int b = qBlue(start) * 256;
  const int dr = (qRed(end) * 256 - r) / divisor;
  const int dg = (qGreen(end) * 256 - g) / divisor;
  const int db = (qBlue(end) * 256 - b) / divisor;
  const int bandWidth = width / divisor;

  bands.reserve(static_cast<std::size_t>(steps));
  for (int i = 0; i < steps; ++i) {
    const int x0 = left + i * bandWidth;
    const int x1 = (i == steps - 1) ? right : x0 + bandWidth;
    bands.push_back({x0, x1, qRgb(r / 256, g / 256, b / 256)});
    r += dr;
    g += dg;
    b += db;
  }
  return bands;
}

}  // namespace zd573::skin
