// Writes the self-extractor's icon file: one 32 by 32 image with 16 colours, so
// that the image itself is exactly 744 bytes (40-byte bitmap header, 64-byte
// palette, 512 bytes of 4-bit pixels, 128 bytes of mask) and the file 766 bytes.
// The picture: a box with a downward arrow on it.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "zipformat/ByteOrder.h"
#include "zipformat/SfxIcon.h"

namespace {

// Palette indexes used by the picture.
constexpr uint8_t kClear = 0, kOutline = 1, kBox = 2, kLid = 3, kArrow = 4;

uint8_t PixelAt(int x, int y) {  // y counts from the top
  bool inBox = x >= 4 && x <= 27 && y >= 12 && y <= 28;
  bool inLid = x >= 2 && x <= 29 && y >= 8 && y <= 11;
  bool shaft = x >= 14 && x <= 17 && y >= 2 && y <= 16;
  bool head = y >= 17 && y <= 24 && x >= 8 + (y - 17) && x <= 23 - (y - 17);
  if (shaft || head) return kArrow;
  bool edge = (inBox && (x == 4 || x == 27 || y == 28)) ||
              (inLid && (x == 2 || x == 29 || y == 8 || y == 11));
  if (edge) return kOutline;
  if (inLid) return kLid;
  if (inBox) return kBox;
  return kClear;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: MakeIcon OUTPUT.ico\n");
    return 2;
  }
  constexpr uint32_t kImageSize = 40 + 64 + 512 + 128;
  static_assert(kImageSize == zip::kSfxIconImageSize);
  std::vector<uint8_t> out;
  zip::Append16(out, 0);  // icon file header: reserved, type 1, one image
  zip::Append16(out, 1);
  zip::Append16(out, 1);
  out.push_back(32);  // directory entry: width, height, colours, reserved
  out.push_back(32);
  out.push_back(16);
  out.push_back(0);
  zip::Append16(out, 1);  // planes
  zip::Append16(out, 4);  // bits per pixel
  zip::Append32(out, kImageSize);
  zip::Append32(out, static_cast<uint32_t>(zip::kSfxIconImageOffset));  // after the header and entry
  zip::Append32(out, 40);  // bitmap header; the height counts colour bits and mask
  zip::Append32(out, 32);
  zip::Append32(out, 64);
  zip::Append16(out, 1);
  zip::Append16(out, 4);
  zip::Append32(out, 0);
  zip::Append32(out, 512 + 128);
  for (int i = 0; i < 4; ++i) zip::Append32(out, 0);
  const uint32_t palette[16] = {0x000000, 0x202020, 0x3C7AB8, 0x2A5A8C, 0x20A040};
  for (uint32_t colour : palette) zip::Append32(out, colour);  // blue, green, red, 0
  for (int row = 31; row >= 0; --row)                  // bottom row first
    for (int x = 0; x < 32; x += 2)
      out.push_back(static_cast<uint8_t>(PixelAt(x, row) << 4 | PixelAt(x + 1, row)));
  for (int row = 31; row >= 0; --row) {
    for (int x = 0; x < 32; x += 8) {
      uint8_t bits = 0;
      for (int k = 0; k < 8; ++k)
        if (PixelAt(x + k, row) == kClear) bits |= static_cast<uint8_t>(0x80 >> k);
      out.push_back(bits);
    }
  }
  if (out.size() != zip::kSfxIconFileSize) return 1;
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f) return 1;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok ? 0 : 1;
}
