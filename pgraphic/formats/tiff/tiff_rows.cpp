// The rows of a TIFF image's samples, out of strips or tiles, one plane
// or one plane a sample.

#include <algorithm>
#include <cstring>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

namespace {

// 16-bit samples in the file's byte order to the machine's.
void ToMachineOrder(std::uint8_t* row, std::size_t samples, const TByteOrder& order) {
  for (std::size_t i = 0; i < samples; ++i) {
    const std::uint16_t v = order.Get16(row + 2 * i);
    std::memcpy(row + 2 * i, &v, 2);
  }
}

}  // namespace

TLayout LayoutOf(const TDirectory& d) {
  TLayout l;
  l.Bits = d.BitsPerSample[0];
  const bool separate = d.PlanarConfiguration == 2 && d.SamplesPerPixel > 1;
  l.Planes = separate ? d.SamplesPerPixel : 1;
  l.SamplesInPlane = separate ? 1 : d.SamplesPerPixel;
  l.ChunkWidth = d.Tiled ? d.TileWidth : d.Width;
  l.ChunkRows = d.Tiled ? d.TileLength : d.RowsPerStrip;
  const auto chunksFor = [](std::uint64_t n, std::uint64_t per) { return per == 0 ? 0 : (n + per - 1) / per; };
  l.Across = d.Tiled ? chunksFor(d.Width, l.ChunkWidth) : 1;
  l.Down = chunksFor(d.Length, l.ChunkRows);
  const std::uint64_t pixelBits = std::uint64_t(l.Bits) * l.SamplesInPlane;
  l.ChunkRowBytes = (pixelBits * l.ChunkWidth + 7) / 8;
  l.PlaneRowBytes = (pixelBits * d.Width + 7) / 8;
  return l;
}

std::int64_t ChunkEnd(const TDirectory& d, std::size_t chunk) {
  if (!d.HasByteCounts || d.Compression == compNone) return d.Size;
  return std::int64_t(d.Offsets[chunk]) + d.ByteCounts[chunk];
}

// The rows of one strip or tile as stored, one after the other, ready to
// use: 16-bit samples in the machine's order, the predictor undone.
class TSampleRows::TChunkRows {
 public:
  TChunkRows(TSource& source, const TDirectory& dir, const TLayout& layout, std::size_t chunk)
      : Dir(dir), L(layout),
        Decoder(MakeChunkDecoder(source, dir.Compression, dir.Offsets[chunk], ChunkEnd(dir, chunk))) {}

  void Next(std::uint8_t* row, std::uint32_t y) {
    Decoder->Read(row, std::size_t(L.ChunkRowBytes), y);
    const std::size_t samples = std::size_t(L.ChunkWidth) * L.SamplesInPlane;
    if (L.Bits == 16) ToMachineOrder(row, samples, Dir.Order);
    if (Predicted(Dir)) UndoHorizontalPredictor(row, L.ChunkWidth, L.SamplesInPlane, L.Bits);
  }

 private:
  const TDirectory& Dir;
  const TLayout& L;
  std::unique_ptr<TChunkDecoder> Decoder;
};

TSampleRows::TSampleRows(TSource& source, const TDirectory& dir) : Src(source), Dir(dir), L(LayoutOf(dir)) {
  const std::uint64_t rows = dir.Tiled ? std::min(L.ChunkRows, dir.Length) : 1;
  PlaneRows.assign(L.Planes, std::vector<std::uint8_t>(std::size_t(rows * L.PlaneRowBytes)));
  Strips.resize(L.Planes);
  if (L.Planes > 1) Interleaved.resize(std::size_t(L.PlaneRowBytes * L.Planes));
}

TSampleRows::~TSampleRows() = default;

// Every tile of tile row number tileRow, its rows inside the image only, into
// the planes' rows; a tile's columns past the image are left out.
void TSampleRows::FillBand(std::uint32_t tileRow) {
  const std::uint32_t top = tileRow * L.ChunkRows;
  const std::uint32_t rows = std::min(L.ChunkRows, Dir.Length - top);
  std::vector<std::uint8_t> tile(std::size_t(L.ChunkRowBytes));
  for (std::uint32_t p = 0; p < L.Planes; ++p)
    for (std::uint64_t x = 0; x < L.Across; ++x) {
      TChunkRows chunk(Src, Dir, L, std::size_t((p * L.Down + tileRow) * L.Across + x));
      const std::uint64_t at = x * L.ChunkRowBytes;
      const std::size_t n = std::size_t(std::min(L.ChunkRowBytes, L.PlaneRowBytes - at));
      for (std::uint32_t r = 0; r < rows; ++r) {
        chunk.Next(tile.data(), top + r);
        std::memcpy(PlaneRows[p].data() + r * L.PlaneRowBytes + at, tile.data(), n);
      }
    }
}

const std::uint8_t* TSampleRows::PlaneRow(std::uint32_t p, std::uint32_t y) {
  if (Dir.Tiled) return PlaneRows[p].data() + std::size_t(y % L.ChunkRows) * L.PlaneRowBytes;
  if (y % L.ChunkRows == 0)
    Strips[p] = std::make_unique<TChunkRows>(Src, Dir, L, std::size_t(p * L.Down + y / L.ChunkRows));
  Strips[p]->Next(PlaneRows[p].data(), y);
  return PlaneRows[p].data();
}

const std::uint8_t* TSampleRows::Row(std::uint32_t y) {
  if (Dir.Tiled && y % L.ChunkRows == 0) FillBand(y / L.ChunkRows);
  if (L.Planes == 1) return PlaneRow(0, y);
  const std::size_t bytes = L.Bits / 8, samples = L.Planes;
  for (std::uint32_t p = 0; p < L.Planes; ++p) {
    const std::uint8_t* plane = PlaneRow(p, y);
    for (std::uint32_t x = 0; x < Dir.Width; ++x)
      std::memcpy(Interleaved.data() + (x * samples + p) * bytes, plane + x * bytes, bytes);
  }
  return Interleaved.data();
}

}  // namespace tiff
