// Deflate data of TIFF strips and tiles (zlib streams, under either of the
// two codes that name them), inflated as the rows ask for it.

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "pgraphic/core/errors.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/tiff/tiff_detail.h"

namespace tiff {

namespace {

class TDeflateDecoder : public TChunkDecoder {
 public:
  TDeflateDecoder(TSource& source, std::int64_t start, std::int64_t end) : In(source, start, end) {
    if (inflateInit(&Z) != Z_OK) Fail("cannot start", 0);
  }
  ~TDeflateDecoder() override { inflateEnd(&Z); }
  TDeflateDecoder(const TDeflateDecoder&) = delete;
  TDeflateDecoder& operator=(const TDeflateDecoder&) = delete;

  void Read(std::uint8_t* dst, std::size_t count, std::uint32_t row) override {
    while (count > 0) {
      const uInt step = uInt(std::min<std::size_t>(count, UINT_MAX));
      Inflate(dst, step, row);
      dst += step;
      count -= step;
    }
  }

 private:
  [[noreturn]] static void Fail(const std::string& what, std::uint32_t row) {
    throw EPGTIFFileFormatReader("TIFF (Deflate): " + what + " in row " + std::to_string(row));
  }

  void Inflate(std::uint8_t* dst, uInt count, std::uint32_t row) {
    Z.next_out = dst;
    Z.avail_out = count;
    while (Z.avail_out > 0) {
      if (Ended) ReadFailMsg(msgUnexpectedEOF);
      if (Z.avail_in == 0) {
        const std::uint8_t* data = nullptr;
        const std::size_t got = In.Take(data, 1 << 16);
        if (got == 0) ReadFailMsg(msgUnexpectedEOF);
        Z.next_in = const_cast<Bytef*>(data);
        Z.avail_in = uInt(got);
      }
      const int result = inflate(&Z, Z_NO_FLUSH);
      if (result == Z_STREAM_END) Ended = true;
      else if (result != Z_OK) Fail(Z.msg ? Z.msg : "damaged data", row);
    }
  }

  TByteWindow In;
  z_stream Z{};
  bool Ended = false;
};

}  // namespace

std::unique_ptr<TChunkDecoder> MakeDeflateDecoder(TSource& source, std::int64_t start, std::int64_t end) {
  return std::make_unique<TDeflateDecoder>(source, start, end);
}

}  // namespace tiff
