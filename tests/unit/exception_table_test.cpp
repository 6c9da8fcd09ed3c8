// The exception-table reader on hand-built tables: LEB128 and pointer encodings, call-site
// lookup, action chains, type-table entries, and malformed tables placed against
// inaccessible pages so that any read past them would fault.

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/library_test.h"
#include "unit/lsda_builder.h"

namespace {

using namespace nk::test;

using ReadUleb = uint64_t(const uint8_t**);
using ReadSleb = int64_t(const uint8_t**);
using ReadEncoded = uint64_t(uint8_t, const uint8_t**);
using ReadUnaligned = uint64_t(const void*, unsigned);
using Inspect = bool(const Context*, const void*, Handler*);

const void* const kNoVtable = nullptr;
const Descriptor kRoot{kNoVtable, "4Root", nullptr};
const Descriptor kMiddle{kNoVtable, "6Middle", nullptr};
const Descriptor kOther{kNoVtable, "5Other", nullptr};

class ExceptionTable : public nk::test::LibraryTest {
 protected:
  ExceptionTable() {
    auto* si = reinterpret_cast<const char*>(
        lib.export_address("_ZTVN10__cxxabiv120__si_class_type_infoE")) + 16;
    leaf = Descriptor{si, "4Leaf", &middle};
    middle = Descriptor{si, "6Middle", &kRoot};
  }

  Handler inspect(const uint8_t* lsda, int32_t call_site, const void* thrown, bool* result = nullptr) {
    Context context{};
    context.call_site = call_site;
    context.lsda = lsda;
    Handler handler{};
    bool found = inspect_(&context, thrown, &handler);
    if (result) *result = found;
    return handler;
  }

  ReadUleb* read_uleb = lib.internal_function<ReadUleb>("read_uleb128");
  ReadSleb* read_sleb = lib.internal_function<ReadSleb>("read_sleb128");
  ReadEncoded* read_encoded = lib.internal_function<ReadEncoded>("read_encoded_pointer");
  ReadUnaligned* read_unaligned = lib.internal_function<ReadUnaligned>("read_unaligned");
  Inspect* inspect_ = lib.internal_function<Inspect>("inspect_context");
  Descriptor leaf{}, middle{};
  Arena arena;
};

bool is_zero(const Handler& h) {
  return !h.call_site_found && !h.needs_cleanup && !h.handler_found && h.landing_pad == 0 &&
         h.selector == 0;
}

TEST_F(ExceptionTable, Leb128NumbersAndTheirLength) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint64_t unsigned_value;
    int64_t signed_value;
  };
  const Case cases[] = {
      {{0x00}, 0, 0},
      {{0x3F}, 63, 63},
      {{0x7F}, 127, -1},
      {{0xC0, 0x00}, 64, 64},
      {{0xE5, 0x8E, 0x26}, 624485, 624485},
      {{0xC0, 0xBB, 0x78}, 1973696, -123456},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, UINT64_MAX, -1},
      {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F}, 0x8000000000000000u, INT64_MIN},
  };
  for (const Case& c : cases) {
    const uint8_t* p = c.bytes.data();
    EXPECT_EQ(read_uleb(&p), c.unsigned_value);
    EXPECT_EQ(p, c.bytes.data() + c.bytes.size());
    p = c.bytes.data();
    EXPECT_EQ(read_sleb(&p), c.signed_value);
    EXPECT_EQ(p, c.bytes.data() + c.bytes.size());
  }
  // A run of continuation bytes is cut off after ten of them.
  std::vector<uint8_t> endless(32, 0x80);
  const uint8_t* p = endless.data();
  read_uleb(&p);
  EXPECT_EQ(p, endless.data() + 10);
  p = endless.data();
  read_sleb(&p);
  EXPECT_EQ(p, endless.data() + 10);
}

TEST_F(ExceptionTable, ReadUnalignedIsLittleEndianAtAnyAddress) {
  alignas(8) uint8_t bytes[12] = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88, 0xBB};
  EXPECT_EQ(read_unaligned(bytes + 1, 1), 0x01u);
  EXPECT_EQ(read_unaligned(bytes + 1, 2), 0x0201u);
  EXPECT_EQ(read_unaligned(bytes + 1, 4), 0x04030201u);
  EXPECT_EQ(read_unaligned(bytes + 1, 8), 0x8807060504030201u);
}

TEST_F(ExceptionTable, EncodedPointerFormatsAndExtension) {
  struct Case {
    uint8_t encoding;
    std::vector<uint8_t> bytes;
    uint64_t value;
    size_t consumed;
  };
  const Case cases[] = {
      {0x00, {1, 2, 3, 4, 5, 6, 7, 0x88}, 0x8807060504030201u, 8},
      {0x01, {0xE5, 0x8E, 0x26}, 624485, 3},
      {0x02, {0xFE, 0xFF}, 0xFFFE, 2},
      {0x03, {0xFE, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFEu, 4},
      {0x04, {1, 0, 0, 0, 0, 0, 0, 0x80}, 0x8000000000000001u, 8},
      {0x09, {0x7E}, uint64_t(-2), 1},
      {0x0A, {0xFE, 0xFF}, uint64_t(-2), 2},
      {0x0A, {0xFE, 0x7F}, 0x7FFE, 2},
      {0x0B, {0xFE, 0xFF, 0xFF, 0xFF}, uint64_t(-2), 4},
      {0x0C, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, uint64_t(-2), 8},
      // Unsupported formats and the omitted encoding read nothing.
      {0x05, {1, 2, 3, 4}, 0, 0},
      {0x08, {1, 2, 3, 4}, 0, 0},
      {0x0D, {1, 2, 3, 4}, 0, 0},
      {0x0F, {1, 2, 3, 4}, 0, 0},
      {0xFF, {1, 2, 3, 4}, 0, 0},
      // Applications other than absolute and relative give 0 but still move on.
      {0x23, {1, 2, 3, 4}, 0, 4},
      {0x33, {1, 2, 3, 4}, 0, 4},
      // A raw 0 stays 0: nothing added, nothing read through.
      {0x1B, {0, 0, 0, 0}, 0, 4},
      {0x9B, {0, 0, 0, 0}, 0, 4},
  };
  for (const Case& c : cases) {
    const uint8_t* p = c.bytes.data();
    EXPECT_EQ(read_encoded(c.encoding, &p), c.value) << "encoding " << int(c.encoding);
    EXPECT_EQ(size_t(p - c.bytes.data()), c.consumed) << "encoding " << int(c.encoding);
  }
}

TEST_F(ExceptionTable, EncodedPointerRelativeAndIndirect) {
  alignas(8) uint8_t bytes[32] = {};
  uint64_t slot = 0x123456789ABCDEF0u;
  std::memcpy(bytes + 16, &slot, 8);
  // Relative: the value's own address plus the offset (negative offsets included).
  int32_t forward = 12;
  std::memcpy(bytes + 4, &forward, 4);
  const uint8_t* p = bytes + 4;
  EXPECT_EQ(read_encoded(0x1B, &p), reinterpret_cast<uintptr_t>(bytes + 16));
  EXPECT_EQ(read_encoded(0x1B, &(p = bytes + 4)), reinterpret_cast<uintptr_t>(bytes + 16));
  int16_t backward = -2;
  std::memcpy(bytes + 2, &backward, 2);
  EXPECT_EQ(read_encoded(0x1A, &(p = bytes + 2)), reinterpret_cast<uintptr_t>(bytes));
  // Indirect: the result is the 64-bit value stored at the address.
  EXPECT_EQ(read_encoded(0x9B, &(p = bytes + 4)), slot);
  EXPECT_EQ(p, bytes + 8);
  uint64_t absolute = reinterpret_cast<uintptr_t>(bytes + 16);
  std::memcpy(bytes + 24, &absolute, 8);
  EXPECT_EQ(read_encoded(0x80, &(p = bytes + 24)), slot);
}

TEST_F(ExceptionTable, FramesWithNothingActive) {
  TableLayout layout;
  layout.call_sites = {{4, 0}, {5, 0}};
  const uint8_t* table = arena.place(layout, 1024);
  EXPECT_TRUE(is_zero(inspect(nullptr, 1, &leaf)));
  EXPECT_TRUE(is_zero(inspect(table, 0, &leaf)));
  EXPECT_TRUE(is_zero(inspect(table, -1, &leaf)));
  EXPECT_TRUE(is_zero(inspect(table, 3, &leaf)));
  EXPECT_TRUE(is_zero(inspect(table, INT32_MIN, &leaf)));
}

TEST_F(ExceptionTable, CleanupOnlyCallSite) {
  TableLayout layout;
  layout.call_sites = {{7, 0}, {300, 0}, {9, 0}};
  bool found = true;
  Handler h = inspect(arena.place(layout, 1024), 2, &leaf, &found);
  EXPECT_FALSE(found);
  EXPECT_TRUE(h.call_site_found);
  EXPECT_TRUE(h.needs_cleanup);
  EXPECT_FALSE(h.handler_found);
  EXPECT_EQ(h.landing_pad, 300u);
  EXPECT_EQ(h.selector, 0u);
}

class EveryTypeEncoding : public ExceptionTable, public ::testing::WithParamInterface<uint8_t> {};

// Other at entry 1, Middle at entry 2; the chain tries 1 and then 2, so a thrown Leaf is
// taken by the second filter.
TEST_P(EveryTypeEncoding, SecondFilterOfTheChainMatches) {
  TableLayout layout;
  layout.type_encoding = GetParam();
  layout.call_sites = {{0, 0}, {3, 1}};
  layout.actions = action_chain({1, 2});
  layout.types = {&kOther, &kMiddle};
  const uint8_t* table = arena.place(layout, 1024);
  bool found = false;
  Handler h = inspect(table, 2, &leaf, &found);
  EXPECT_TRUE(found);
  EXPECT_TRUE(h.call_site_found && h.handler_found);
  EXPECT_FALSE(h.needs_cleanup);
  EXPECT_EQ(h.landing_pad, 3u);
  EXPECT_EQ(h.selector, 2u);

  // Nothing on the chain of Root matches Other or Middle.
  h = inspect(table, 2, &kRoot, &found);
  EXPECT_FALSE(found);
  EXPECT_TRUE(h.call_site_found);
  EXPECT_FALSE(h.handler_found || h.needs_cleanup);
}

INSTANTIATE_TEST_SUITE_P(Encodings, EveryTypeEncoding,
                         ::testing::Values(0x00, 0x03, 0x04, 0x0B, 0x0C, 0x10, 0x12, 0x13, 0x14,
                                           0x1A, 0x1B, 0x1C, 0x80, 0x83, 0x93, 0x9A, 0x9B, 0x9C));

TEST_F(ExceptionTable, CatchAllEntries) {
  // A null entry in the indirect, relative, 4-byte encoding clang uses.
  TableLayout layout;
  layout.type_encoding = 0x9B;
  layout.call_sites = {{6, 1}};
  layout.actions = action_chain({2, 1});
  layout.types = {nullptr, &kOther};
  const uint8_t* table = arena.place(layout, 1024);
  bool found = false;
  Handler h = inspect(table, 1, &leaf, &found);
  EXPECT_TRUE(found);
  EXPECT_EQ(h.selector, 1u);
  EXPECT_EQ(h.landing_pad, 6u);
  h = inspect(table, 1, nullptr, &found);
  EXPECT_TRUE(found);
  EXPECT_EQ(h.selector, 1u);

  // Without a type table, or with a type encoding of no fixed size, every clause catches.
  for (uint8_t encoding : {uint8_t(0xFF), uint8_t(0x01), uint8_t(0x09), uint8_t(0x05)}) {
    TableLayout untyped;
    untyped.type_encoding = encoding;
    untyped.call_sites = {{2, 1}};
    untyped.actions = action_chain({3});
    h = inspect(arena.place(untyped, 2048), 1, &leaf, &found);
    EXPECT_TRUE(found) << int(encoding);
    EXPECT_EQ(h.selector, 3u) << int(encoding);
  }
}

TEST_F(ExceptionTable, CleanupsAndSpecificationsInAChain) {
  TableLayout layout;
  layout.type_encoding = 0x9B;
  layout.call_sites = {{1, 1}, {2, 7}};
  // First chain: exception filter (ignored), cleanup, non-matching catch.
  // Second chain, at byte 6: cleanup, then a matching catch.
  layout.actions = action_chain({-1, 0, 1});
  append(layout.actions, action_chain({0, 2}));
  layout.types = {&kOther, &kMiddle};
  const uint8_t* table = arena.place(layout, 1024);
  bool found = true;
  Handler h = inspect(table, 1, &leaf, &found);
  EXPECT_FALSE(found);
  EXPECT_TRUE(h.call_site_found && h.needs_cleanup);
  EXPECT_FALSE(h.handler_found);
  h = inspect(table, 2, &leaf, &found);
  EXPECT_TRUE(found);
  EXPECT_TRUE(h.needs_cleanup && h.handler_found);
  EXPECT_EQ(h.selector, 2u);
}

TEST_F(ExceptionTable, ActionChainsEndAfterSixtyFourEntries) {
  for (int length : {64, 65}) {
    TableLayout layout;
    layout.type_encoding = 0x9B;
    layout.call_sites = {{1, 1}};
    std::vector<int64_t> filters(length - 1, 1);
    filters.push_back(2);
    layout.actions = action_chain(filters);
    layout.types = {&kOther, &kMiddle};
    bool found = false;
    Handler h = inspect(arena.place(layout, 1024), 1, &leaf, &found);
    EXPECT_EQ(found, length == 64) << length;
    EXPECT_EQ(h.selector, length == 64 ? 2u : 0u) << length;
  }
}

TEST_F(ExceptionTable, MalformedTablesReadAsNothingToDo) {
  bool found = true;
  {  // The last record is cut off by the end of the call-site table, at the end of memory.
    TableLayout layout;
    layout.call_sites = {{1, 0}};
    const uint8_t* table = arena.place(layout, 0, true);
    std::vector<uint8_t> bytes(table, static_cast<const uint8_t*>(arena.page() + kPage));
    bytes.push_back(0x85);  // a record whose landing pad never ends
    bytes[3] = 3;           // call-site table length now covers it
    uint8_t* moved = arena.page() + kPage - bytes.size();
    std::memcpy(moved, bytes.data(), bytes.size());
    EXPECT_TRUE(is_zero(inspect(moved, 2, &leaf, &found)));
    EXPECT_FALSE(found);
    EXPECT_TRUE(inspect(moved, 1, &leaf).needs_cleanup);
  }
  {  // A call site past the last record, the table ending at the end of memory.
    TableLayout layout;
    layout.call_sites = {{1, 0}, {2, 0}};
    EXPECT_TRUE(is_zero(inspect(arena.place(layout, 0, true), 5, &leaf)));
  }
  {  // Numbers that never end.
    uint8_t* table = arena.page() + 1024;
    const uint8_t header[] = {0xFF, 0xFF, 0x01};
    std::memcpy(table, header, 3);
    std::memset(table + 3, 0x80, 40);
    EXPECT_TRUE(is_zero(inspect(table, 1, &leaf)));
    table[1] = 0x9B;  // now the type-table offset never ends
    table[2] = 0x80;
    EXPECT_TRUE(is_zero(inspect(table, 1, &leaf)));
  }
  {  // A call-site table length that would wrap the address space.
    TableLayout layout;
    layout.call_sites = {{1, 0}};
    layout.declared_length = UINT64_MAX - 2;
    EXPECT_TRUE(is_zero(inspect(arena.place(layout, 1024), 1, &leaf)));
  }
  {  // An action entry that links back to itself.
    TableLayout layout;
    layout.type_encoding = 0x9B;
    layout.call_sites = {{1, 1}};
    layout.actions = {0x01, 0x7F};  // filter 1, displacement -1
    layout.types = {&kOther};
    Handler h = inspect(arena.place(layout, 1024), 1, &leaf, &found);
    EXPECT_FALSE(found);
    EXPECT_FALSE(h.handler_found || h.needs_cleanup);
  }
  {  // Action offsets and displacements that leave the action table. Record 2, read as an
     // action entry, would say "catch type 1, last entry", which takes a Leaf.
    TableLayout layout;
    layout.type_encoding = 0x9B;
    layout.call_sites = {{2, 1}, {1, 0}, {3, 200}};
    layout.actions = {0x00, 0x7A};  // cleanup, then a jump of -6 back onto record 2
    layout.types = {&kMiddle};
    const uint8_t* table = arena.place(layout, 1024);
    Handler h = inspect(table, 1, &leaf, &found);
    EXPECT_FALSE(found);
    EXPECT_TRUE(h.needs_cleanup);
    EXPECT_FALSE(h.handler_found);
    h = inspect(table, 3, &leaf, &found);
    EXPECT_FALSE(found);
    EXPECT_TRUE(h.call_site_found);
    EXPECT_FALSE(h.handler_found || h.needs_cleanup);
  }
  {  // A filter far beyond the type table, whose entry would lie in the inaccessible page
     // below: it cannot be read and counts as a catch-all.
    TableLayout layout;
    layout.type_encoding = 0x00;
    layout.call_sites = {{1, 1}};
    layout.actions = action_chain({100});
    layout.types = {&kOther};
    Handler h = inspect(arena.place(layout, 512), 1, &leaf, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(h.selector, 100u);
  }
}

}  // namespace
