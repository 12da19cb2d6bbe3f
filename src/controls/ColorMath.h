#pragma once
// Colour arithmetic of the skin, kept apart from the widgets so it can be
// checked on its own: 5 x 5 colour matrices over R, G, B, A, 1 and the banded
// horizontal gradient of labels.
#include <QImage>
#include <QRgb>

#include <array>
#include <cstdint>
#include <vector>

namespace zd573::skin {

// Row-vector convention: out[c] = sum over rows r of in[r] * m[r][c], with
// in = (R, G, B, A, 1) scaled to 0..1; the last row holds the offsets.
using ColorMatrix = std::array<std::array<float, 5>, 5>;

// Each colour channel x 1.05 plus 0.05 of full scale; alpha unchanged.
inline constexpr ColorMatrix kBrighteningMatrix{{
    {1.05f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 1.05f, 0.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 1.05f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {0.05f, 0.05f, 0.05f, 0.0f, 1.0f},
}};

// R = G = B = 0.3 R + 0.59 G + 0.11 B; alpha unchanged.
inline constexpr ColorMatrix kGreyMatrix{{
    {0.3f, 0.3f, 0.3f, 0.0f, 0.0f},
    {0.59f, 0.59f, 0.59f, 0.0f, 0.0f},
    {0.11f, 0.11f, 0.11f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 0.0f, 1.0f},
}};

// One pixel through a matrix; the result is clamped to 0..255 per channel.
// The colour is taken unpremultiplied.
QRgb ApplyColorMatrix(const ColorMatrix& m, QRgb pixel);

// A whole picture through a matrix; the result is unpremultiplied ARGB32.
QImage ApplyColorMatrix(const ColorMatrix& m, const QImage& image);

// The picture laid over opaque white, as pages that draw pictures
// themselves show it: transparent pixels become white. The device pixel
// ratio is kept.
QImage ComposeOverWhite(QImage image);

// One band of a label's gradient: fill columns x0 to x1 inclusive.
struct GradientBand {
  int x0;
  int x1;
  QRgb colour;
};

// Bands from `start` at the left edge to `end` at the right edge of the
// columns [left, right). At most 100 bands, each an integer number of pixels
// wide; components step in 1/256 units with truncating division, so the
// colours are those of the classic banded fill, not an exact interpolation.
// Later bands overwrite the one extra column each band paints.
std::vector<GradientBand> GradientBands(QRgb start, QRgb end, int left, int right);

}  // namespace zd573::skin
