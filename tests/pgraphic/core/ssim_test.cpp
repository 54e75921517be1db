// The library's SSIM against a direct computation of the same definition
// in Python (Pillow reads the files; no window is shared between the two:
// the peer sums each 11 x 11 window whole).

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "pgraphic/core/library.h"
#include "pgraphic/core/settings.h"
#include "pgraphic/core/ssim.h"
#include "support/peer.h"

namespace {

const char* const kPeer = R"(import math, sys
from PIL import Image
def luma(path):
    im = Image.open(path).convert('RGB')
    w, h = im.size
    px = list(im.getdata())
    return w, h, [0.299 * r + 0.587 * g + 0.114 * b for r, g, b in px]
w, h, a = luma(sys.argv[1])
_, _, b = luma(sys.argv[2])
g = [math.exp(-((i - 5) ** 2) / (2 * 1.5 ** 2)) for i in range(11)]
g = [v / sum(g) for v in g]
c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
total, n = 0.0, 0
for y0 in range(h - 10):
    for x0 in range(w - 10):
        ma = mb = saa = sbb = sab = 0.0
        for j in range(11):
            for i in range(11):
                k = g[i] * g[j]
                va, vb = a[(y0 + j) * w + x0 + i], b[(y0 + j) * w + x0 + i]
                ma += k * va; mb += k * vb; saa += k * va * va; sbb += k * vb * vb; sab += k * va * vb
        va, vb, cov = saa - ma * ma, sbb - mb * mb, sab - ma * mb
        total += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2))
        n += 1
print(repr(total / n))
)";

class Ssim : public ::testing::Test {
 protected:
  void SetUp() override {
    PGLibraryInit();
    Dir = peer::PrivateDir("ssim");
    peer::WritePpm(Dir + "/a.ppm", peer::Pattern(41, 29));
    A.LoadFromFile(Dir + "/a.ppm");
  }
  double PeerSsim(const std::string& first, const std::string& second) {
    std::ofstream(Dir + "/ssim.py") << kPeer;
    std::string out;
    EXPECT_EQ(peer::Run(std::string(peer::kPython) + " " + Dir + "/ssim.py " + first + " " + second, &out), 0);
    return std::stod(out);
  }
  std::string Dir;
  TPixelGraphic A;
};

TEST_F(Ssim, MatchesThePeersValueForDegradedCopies) {
  const TPGLibrarySettings saved = PGSettings();
  const TSsimReference reference(A);
  for (const int quality : {10, 60}) {
    SCOPED_TRACE(quality);
    PGSettings().JpegQuality = std::uint8_t(quality);
    A.SaveToFile(Dir + "/b.jpg");
    TPixelGraphic b;
    b.LoadFromFile(Dir + "/b.jpg");
    b.SaveToFile(Dir + "/b.ppm");
    const double ours = StructuralSimilarity(A, b);
    EXPECT_NEAR(ours, PeerSsim(Dir + "/a.ppm", Dir + "/b.ppm"), 1e-9);
    EXPECT_NEAR(StructuralSimilarity(b, A), ours, 1e-12);
    EXPECT_EQ(reference.Compare(b), ours);  // the same sums in the same order
    EXPECT_LT(ours, 0.99);
  }
  PGSettings() = saved;
  // A grey copy: different in colour only through its palette.
  TPixelGraphic grey;
  peer::GreyCopy(A, grey);
  grey.SaveToFile(Dir + "/grey.bmp");
  EXPECT_NEAR(StructuralSimilarity(A, grey), PeerSsim(Dir + "/a.ppm", Dir + "/grey.bmp"), 1e-9);
  EXPECT_DOUBLE_EQ(StructuralSimilarity(A, A), 1.0);
}

TEST_F(Ssim, SmallImagesUseTheirOwnSizeAndSizesMustMatch) {
  TPixelGraphic small, other;
  small.SetSizeAndFormat(5, 3, pgpf24Bit);
  other.SetSizeAndFormat(5, 3, pgpf24Bit);
  small.SetPixel(2, 1, RGBColor(200, 200, 200));
  EXPECT_DOUBLE_EQ(StructuralSimilarity(small, small), 1.0);
  const double differing = StructuralSimilarity(small, other);
  EXPECT_GT(differing, 0.0);
  EXPECT_LT(differing, 0.5);
  other.SetSizeAndFormat(3, 5, pgpf24Bit);
  EXPECT_THROW(StructuralSimilarity(small, other), EPGInvalidSize);
}

}  // namespace
