#include "sim/loader/macho_fixups.h"

#include <cstring>
#include <string>

#include "sim/base/byte_reader.h"
#include "sim/loader/macho_format.h"

namespace nk::sim {
namespace {

using namespace macho;

// Where the opcodes point: a segment number and an offset inside it. Every write is checked
// against the segment, and the number of writes is bounded, so that hostile counts end.
class Cursor {
 public:
  Cursor(const MappedImage& image, ByteReader& reader)
      : image_(image), reader_(reader), budget_(image.file.vm_span / 2 + 64) {}

  void set(uint64_t segment, uint64_t offset) {
    if (segment >= image_.file.segments.size())
      reader_.fail("segment number " + std::to_string(segment) + " does not exist");
    segment_ = &image_.file.segments[segment];
    offset_ = offset;
  }
  void advance(uint64_t delta) { offset_ += delta; }

  uint8_t* slot() {
    if (!segment_) reader_.fail("fix-up before any segment was chosen");
    if (!segment_->mapped || segment_->vmsize < 8 || offset_ > segment_->vmsize - 8)
      reader_.fail("fix-up outside segment " + segment_->name);
    if (budget_-- == 0) reader_.fail("more fix-ups than the image has room for");
    return image_.base + (segment_->vmaddr - image_.file.min_vmaddr) + offset_;
  }

 private:
  const MappedImage& image_;
  ByteReader& reader_;
  const MachSegment* segment_ = nullptr;
  uint64_t offset_ = 0;
  uint64_t budget_;
};

uint64_t load64(const uint8_t* at) {
  uint64_t value;
  std::memcpy(&value, at, 8);
  return value;
}
void store64(uint8_t* at, uint64_t value) { std::memcpy(at, &value, 8); }

}  // namespace

void apply_rebases(const MappedImage& image, std::span<const uint8_t> stream) {
  ByteReader reader(stream, "rebase info");
  Cursor cursor(image, reader);
  auto rebase = [&] {
    uint8_t* slot = cursor.slot();
    store64(slot, load64(slot) + image.slide);
    cursor.advance(8);
  };
  while (!reader.at_end()) {
    uint8_t byte = reader.u8();
    uint8_t immediate = byte & kRebaseImmediateMask;
    switch (byte & kRebaseOpcodeMask) {
      case kRebaseDone: return;
      case kRebaseSetTypeImm:
        if (immediate != kRebaseTypePointer)
          reader.fail("unsupported rebase type " + std::to_string(immediate));
        break;
      case kRebaseSetSegmentAndOffsetUleb: cursor.set(immediate, reader.uleb()); break;
      case kRebaseAddAddrUleb: cursor.advance(reader.uleb()); break;
      case kRebaseAddAddrImmScaled: cursor.advance(immediate * 8); break;
      case kRebaseDoRebaseImmTimes:
        for (unsigned i = 0; i < immediate; ++i) rebase();
        break;
      case kRebaseDoRebaseUlebTimes:
        for (uint64_t i = 0, n = reader.uleb(); i < n; ++i) rebase();
        break;
      case kRebaseDoRebaseAddAddrUleb:
        rebase();
        cursor.advance(reader.uleb());
        break;
      case kRebaseDoRebaseUlebTimesSkippingUleb: {
        uint64_t count = reader.uleb(), skip = reader.uleb();
        for (uint64_t i = 0; i < count; ++i) {
          rebase();
          cursor.advance(skip);
        }
        break;
      }
      default: reader.fail("unknown opcode " + std::to_string(byte));
    }
  }
}

void apply_binds(const MappedImage& image, std::span<const uint8_t> stream, bool lazy,
                 const SymbolResolver& resolve) {
  ByteReader reader(stream, lazy ? "lazy bind info" : "bind info");
  Cursor cursor(image, reader);
  int64_t ordinal = 0;
  std::string_view symbol;
  bool weak_import = false;
  int64_t addend = 0;
  auto bind = [&] {
    if (symbol.empty()) reader.fail("bind without a symbol");
    uint8_t* slot = cursor.slot();
    uint64_t target = resolve(ordinal, symbol, weak_import);
    store64(slot, target ? target + static_cast<uint64_t>(addend) : 0);
    cursor.advance(8);
  };
  while (!reader.at_end()) {
    uint8_t byte = reader.u8();
    uint8_t immediate = byte & kBindImmediateMask;
    switch (byte & kBindOpcodeMask) {
      case kBindDone:
        if (!lazy) return;
        break;
      case kBindSetDylibOrdinalImm: ordinal = immediate; break;
      case kBindSetDylibOrdinalUleb: {
        uint64_t value = reader.uleb();
        if (value > 0xFFFF) reader.fail("dylib ordinal out of range");
        ordinal = static_cast<int64_t>(value);
        break;
      }
      case kBindSetDylibSpecialImm:
        ordinal = immediate ? static_cast<int8_t>(kBindOpcodeMask | immediate) : 0;
        break;
      case kBindSetSymbolTrailingFlagsImm:
        symbol = reader.cstring();
        weak_import = immediate & kBindSymbolFlagsWeakImport;
        break;
      case kBindSetTypeImm:
        if (immediate != kBindTypePointer)
          reader.fail("unsupported bind type " + std::to_string(immediate));
        break;
      case kBindSetAddendSleb: addend = reader.sleb(); break;
      case kBindSetSegmentAndOffsetUleb: cursor.set(immediate, reader.uleb()); break;
      case kBindAddAddrUleb: cursor.advance(reader.uleb()); break;
      case kBindDoBind: bind(); break;
      case kBindDoBindAddAddrUleb:
        bind();
        cursor.advance(reader.uleb());
        break;
      case kBindDoBindAddAddrImmScaled:
        bind();
        cursor.advance(immediate * 8);
        break;
      case kBindDoBindUlebTimesSkippingUleb: {
        uint64_t count = reader.uleb(), skip = reader.uleb();
        for (uint64_t i = 0; i < count; ++i) {
          bind();
          cursor.advance(skip);
        }
        break;
      }
      case kBindThreaded: reader.fail("threaded binds are not supported");
      default: reader.fail("unknown opcode " + std::to_string(byte));
    }
  }
}

}  // namespace nk::sim
