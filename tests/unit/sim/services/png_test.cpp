// nkhost's PNG service: every colour type and bit depth to 8-bit RGBA, and damaged or
// hostile files refused without a crash or a leak.

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "sim/machine/machine.h"
#include "sim/services/png.h"
#include "support/host_entry.h"
#include "support/png_maker.h"

namespace {

namespace fs = std::filesystem;
using nk::sim::Entry;
using nk::sim::ImageRecord;
using nk::sim::Machine;
using nk::test::PngPicture;
using Rgba = std::array<uint8_t, 4>;

// A picture of the given kind with varied samples, and the RGBA pixels it stands for.
struct Case {
  const char* what;
  PngPicture picture;
  std::vector<Rgba> expected;
};

Case make_case(const char* what, int color_type, int bit_depth, bool interlaced = false) {
  Case c{what, {}, {}};
  PngPicture& p = c.picture;
  p.width = 13;
  p.height = 7;
  p.color_type = color_type;
  p.bit_depth = bit_depth;
  p.interlaced = interlaced;
  unsigned top = (1u << std::min(bit_depth, 8)) - 1;
  if (color_type == PNG_COLOR_TYPE_PALETTE) {
    for (unsigned i = 0; i <= top; ++i) p.palette.push_back({uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 5 + 1)});
    for (unsigned i = 0; i <= top && i < 3; ++i) p.palette_alpha.push_back(uint8_t(i * 100));
  }
  for (uint32_t y = 0; y < p.height; ++y)
    for (uint32_t x = 0; x < p.width; ++x) {
      Rgba pixel{0, 0, 0, 255};
      std::array<unsigned, 4> eight{};
      for (int k = 0; k < p.channels(); ++k) {
        unsigned value = (x * 31 + y * 17 + k * 7) % (top + 1);
        if (bit_depth == 16) value = value % 255;  // stored as value * 257 + 100 below
        eight[k] = color_type == PNG_COLOR_TYPE_PALETTE || bit_depth >= 8 ? value : value * 255 / top;
        p.samples.push_back(uint16_t(bit_depth == 16 ? value * 257 + 100 : value));
      }
      switch (color_type) {
        case PNG_COLOR_TYPE_GRAY: pixel = {uint8_t(eight[0]), uint8_t(eight[0]), uint8_t(eight[0]), 255}; break;
        case PNG_COLOR_TYPE_GRAY_ALPHA: pixel = {uint8_t(eight[0]), uint8_t(eight[0]), uint8_t(eight[0]), uint8_t(eight[1])}; break;
        case PNG_COLOR_TYPE_RGB: pixel = {uint8_t(eight[0]), uint8_t(eight[1]), uint8_t(eight[2]), 255}; break;
        case PNG_COLOR_TYPE_RGBA: pixel = {uint8_t(eight[0]), uint8_t(eight[1]), uint8_t(eight[2]), uint8_t(eight[3])}; break;
        default: {
          const png_color& e = p.palette[eight[0]];
          pixel = {e.red, e.green, e.blue, eight[0] < p.palette_alpha.size() ? p.palette_alpha[eight[0]] : uint8_t(255)};
        }
      }
      c.expected.push_back(pixel);
    }
  return c;
}

// Grey or RGB with one colour marked transparent.
Case with_transparent_colour(Case c) {
  const uint16_t* first = c.picture.samples.data();
  bool grey = c.picture.color_type == PNG_COLOR_TYPE_GRAY;
  c.picture.transparent_colour.assign(first, first + (grey ? 1 : 3));
  for (size_t i = 0; i < c.expected.size(); ++i) {
    const uint16_t* s = c.picture.samples.data() + i * c.picture.channels();
    if (std::equal(s, s + c.picture.channels(), first)) c.expected[i][3] = 0;
  }
  return c;
}

std::vector<Case> all_kinds() {
  return {
      make_case("grey 1", PNG_COLOR_TYPE_GRAY, 1),
      make_case("grey 2", PNG_COLOR_TYPE_GRAY, 2),
      make_case("grey 4", PNG_COLOR_TYPE_GRAY, 4),
      make_case("grey 8", PNG_COLOR_TYPE_GRAY, 8),
      make_case("grey 16", PNG_COLOR_TYPE_GRAY, 16),
      make_case("grey+alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8),
      make_case("grey+alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16),
      make_case("rgb 8", PNG_COLOR_TYPE_RGB, 8),
      make_case("rgb 16", PNG_COLOR_TYPE_RGB, 16),
      make_case("rgba 8", PNG_COLOR_TYPE_RGBA, 8),
      make_case("rgba 16", PNG_COLOR_TYPE_RGBA, 16),
      make_case("palette 1", PNG_COLOR_TYPE_PALETTE, 1),
      make_case("palette 2", PNG_COLOR_TYPE_PALETTE, 2),
      make_case("palette 4", PNG_COLOR_TYPE_PALETTE, 4),
      make_case("palette 8", PNG_COLOR_TYPE_PALETTE, 8),
      with_transparent_colour(make_case("grey 8 + tRNS", PNG_COLOR_TYPE_GRAY, 8)),
      with_transparent_colour(make_case("rgb 8 + tRNS", PNG_COLOR_TYPE_RGB, 8)),
      make_case("rgba 8 interlaced", PNG_COLOR_TYPE_RGBA, 8, true),
      make_case("grey 2 interlaced", PNG_COLOR_TYPE_GRAY, 2, true),
      make_case("palette 4 interlaced", PNG_COLOR_TYPE_PALETTE, 4, true),
  };
}

class PngService : public ::testing::Test {
 protected:
  Machine machine;
  fs::path root = fs::temp_directory_path() / ("nkhost_png_" + std::to_string(getpid()));

  void SetUp() override {
    fs::remove_all(root);
    fs::create_directories(root);
    machine.files().set_root(root);
  }
  void TearDown() override { fs::remove_all(root); }

  int32_t decode_file(const char* name, ImageRecord* record) {
    return nk::test::host_entry<int32_t(const char*, ImageRecord*)>(machine, Entry::png_decode_file)(name, record);
  }
  void release(uint64_t pixels) {
    nk::test::host_entry<void(void*)>(machine, Entry::memory_free)(reinterpret_cast<void*>(pixels));
  }
  // Decodes bytes in memory; on success the pixels are compared and released.
  bool decode(const std::vector<uint8_t>& bytes, std::string& why, const std::vector<Rgba>* expected = nullptr,
              nk::sim::LibpngRequests* requests = nullptr) {
    FILE* file = bytes.empty() ? fopen("/dev/null", "rb")
                               : fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    ImageRecord record{};
    bool ok = nk::sim::decode_png(file, machine.memory(), record, why, requests);
    fclose(file);
    if (ok) {
      EXPECT_EQ(uint64_t(record.size), uint64_t(record.width) * record.height * 4);
      EXPECT_LT(record.pixels + record.size, uint64_t(1) << 32);
      if (expected) EXPECT_EQ(std::memcmp(reinterpret_cast<void*>(record.pixels), expected->data(), record.size), 0);
      release(record.pixels);
    }
    return ok;
  }
};

TEST_F(PngService, EveryColourTypeAndBitDepthBecomesRgba) {
  for (const Case& c : all_kinds()) {
    std::vector<uint8_t> bytes = nk::test::encode_png(c.picture);
    std::ofstream(root / "picture.png", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    ImageRecord record{};
    record.reserved = 0xABCD;
    ASSERT_NE(decode_file("picture.png", &record), 0) << c.what;
    EXPECT_EQ(record.width, 13u);
    EXPECT_EQ(record.height, 7u);
    EXPECT_EQ(record.size, 13u * 7 * 4);
    EXPECT_EQ(record.reserved, 0xABCDu);
    const auto* pixels = reinterpret_cast<const Rgba*>(record.pixels);
    for (size_t i = 0; i < c.expected.size(); ++i)
      ASSERT_EQ(pixels[i], c.expected[i]) << c.what << ", pixel " << i;
    // The program releases the pixels with memory_free, like any block of its own.
    EXPECT_EQ(machine.memory().counters().live_blocks, 1u);
    release(record.pixels);
    EXPECT_EQ(machine.memory().counters().live_blocks, 0u) << c.what;
  }
  const auto& call = machine.calls().front();
  EXPECT_EQ(call.entry, Entry::png_decode_file);
  EXPECT_EQ(call.text, "picture.png");
}

TEST_F(PngService, MissingOrDamagedFilesGiveNoImage) {
  ImageRecord record{};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(decode_file("absent.png", &record), 0);
  std::ofstream(root / "text.png") << "not a picture at all";
  EXPECT_EQ(decode_file("text.png", &record), 0);
  EXPECT_EQ(decode_file("../escape.png", &record), 0);
  std::string messages = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("png_decode_file(\"absent.png\"): no such file in the store"), std::string::npos) << messages;
  EXPECT_NE(messages.find("png_decode_file(\"text.png\"): "), std::string::npos) << messages;
  EXPECT_NE(messages.find("; no image"), std::string::npos) << messages;
  EXPECT_NE(messages.find("png_decode_file(\"../escape.png\"): name refused"), std::string::npos);
  EXPECT_EQ(record.pixels, 0u);

  std::vector<uint8_t> good = nk::test::encode_png(make_case("rgba", PNG_COLOR_TYPE_RGBA, 8).picture);
  std::string why;
  ASSERT_TRUE(decode(good, why));
  // Every shorter file fails, whatever it lacks.
  for (size_t length = 0; length < good.size(); ++length) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + length);
    EXPECT_FALSE(decode(cut, why)) << length;
  }
  // A wrong checksum in any chunk, critical or not.
  auto text = nk::test::png_chunk("tEXt", {'k', 0, 'v'});
  std::vector<uint8_t> with_text(good.begin(), good.begin() + 33);
  with_text.insert(with_text.end(), text.begin(), text.end());
  with_text.insert(with_text.end(), good.begin() + 33, good.end());
  ASSERT_TRUE(decode(with_text, why));
  for (size_t chunk : nk::test::png_chunks(with_text)) {
    std::vector<uint8_t> bad = with_text;
    uint32_t length = bad[chunk + 3];
    bad[chunk + 8 + length] ^= 1;
    EXPECT_FALSE(decode(bad, why)) << chunk;
    EXPECT_NE(why.find("CRC"), std::string::npos) << why;
  }
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

// Hostile headers and bombs cost no more than the picture they claim, within a bound.
TEST_F(PngService, HostileFilesAreBounded) {
  std::vector<uint8_t> good = nk::test::encode_png(make_case("rgb", PNG_COLOR_TYPE_RGB, 8).picture);
  auto with_size = [&](uint32_t width, uint32_t height) {
    std::vector<uint8_t> bytes = good;
    for (int i = 0; i < 4; ++i) {
      bytes[16 + i] = uint8_t(width >> (24 - 8 * i));
      bytes[20 + i] = uint8_t(height >> (24 - 8 * i));
    }
    nk::test::fix_png_crcs(bytes);
    return bytes;
  };
  std::string why;
  EXPECT_FALSE(decode(with_size(60000, 60000), why));
  EXPECT_EQ(why, "an image of 60000x60000 pixels is too large (more than 256 MiB)");
  EXPECT_FALSE(decode(with_size(100000, 1), why));
  EXPECT_FALSE(decode(with_size(0x7FFFFFFF, 0x7FFFFFFF), why));
  EXPECT_EQ(machine.memory().counters().peak_bytes, 0u);

  // A 1x1 picture whose image data inflates to 16 MiB: only the one row is ever inflated.
  std::vector<uint8_t> zeros(16 << 20, 0);
  uLongf packed_size = compressBound(zeros.size());
  std::vector<uint8_t> packed(packed_size);
  ASSERT_EQ(compress2(packed.data(), &packed_size, zeros.data(), zeros.size(), 9), Z_OK);
  packed.resize(packed_size);
  std::vector<uint8_t> bomb(good.begin(), good.begin() + 33);
  auto header = with_size(1, 1);
  std::copy(header.begin() + 8, header.begin() + 33, bomb.begin() + 8);
  auto idat = nk::test::png_chunk("IDAT", packed);
  auto iend = nk::test::png_chunk("IEND", {});
  bomb.insert(bomb.end(), idat.begin(), idat.end());
  bomb.insert(bomb.end(), iend.begin(), iend.end());
  decode(bomb, why);  // libpng may take the picture or refuse the extra data; either is fine
  EXPECT_EQ(machine.memory().counters().peak_bytes, 4u);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

// Chunks that do not make the picture are skipped unread: whatever size they declare, libpng
// is never asked for more than the rows need, and a picture that carries them decodes as
// one without them.
TEST_F(PngService, ChunksNkhostDoesNotUseAreSkippedUnread) {
  Case c = make_case("rgb", PNG_COLOR_TYPE_RGB, 8);
  std::vector<uint8_t> good = nk::test::encode_png(c.picture);
  std::string why;
  nk::sim::LibpngRequests requests;
  for (const char* type : {"eXIf", "tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "prIv"}) {
    // 45 bytes: the signature, the header, and a chunk that declares 2 GiB of data.
    std::vector<uint8_t> huge(good.begin(), good.begin() + 33);
    for (uint8_t b : {0x7F, 0xFF, 0xFF, 0xFF}) huge.push_back(b);
    huge.insert(huge.end(), type, type + 4);
    huge.insert(huge.end(), {'M', 'M', 0, '*'});
    ASSERT_EQ(huge.size(), 45u);
    EXPECT_FALSE(decode(huge, why, nullptr, &requests)) << type;
    EXPECT_LT(requests.largest, 64u << 10) << type;

    std::vector<uint8_t> data = {'k', 0, 0, 0, 0, 'v', 'a', 'l', 'u', 'e'};
    auto chunk = nk::test::png_chunk(type, data);
    std::vector<uint8_t> carrying(good.begin(), good.begin() + 33);
    carrying.insert(carrying.end(), chunk.begin(), chunk.end());
    carrying.insert(carrying.end(), good.begin() + 33, good.end());
    EXPECT_TRUE(decode(carrying, why, &c.expected, &requests)) << type << ": " << why;
    EXPECT_LT(requests.largest, 64u << 10) << type;
  }
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

// Thousands of mutated pictures: no crash, no block left behind, and every picture that is
// taken is whole. Half the mutants get their checksums mended, so that the damage reaches
// the decompressor and the filters instead of stopping at the first CRC.
TEST_F(PngService, MutatedFilesNeverCrashOrLeak) {
  std::vector<std::vector<uint8_t>> seeds;
  for (const Case& c : all_kinds()) seeds.push_back(nk::test::encode_png(c.picture));
  std::mt19937 random(2024);
  int taken = 0, refused = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<uint8_t> bytes = seeds[random() % seeds.size()];
    int flips = 1 + random() % 4;
    for (int i = 0; i < flips; ++i) {
      size_t at = random() % bytes.size();
      bytes[at] = random() % 3 == 0 ? uint8_t(random()) : uint8_t(bytes[at] ^ (1 << random() % 8));
    }
    if (random() % 4 == 0) bytes.resize(random() % bytes.size());
    if (random() % 2) nk::test::fix_png_crcs(bytes);
    std::string why;
    decode(bytes, why) ? ++taken : ++refused;
  }
  EXPECT_GT(taken, 0);
  EXPECT_GT(refused, 0);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

}  // namespace
