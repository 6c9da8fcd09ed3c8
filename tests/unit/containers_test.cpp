// nk::string, nk::string_view and nk::vector: growth sequences, self-assignment and
// self-append, embedded zero bytes, moves. The containers are compiled for this process
// from the library's own sources.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "containers/string.h"
#include "containers/vector.h"

namespace {

std::string bytes(const nk::string& s) { return std::string(s.chars(), s.size); }

TEST(String, AnEmptyStringNeedsNoBufferUntilAssigned) {
  nk::string s;
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(s.find('a'), nk::npos);
  nk::string all = s.substr(0, nk::npos);
  EXPECT_EQ(all.size, 0u);
  EXPECT_TRUE(s == "");
  EXPECT_TRUE(s == nullptr);
  EXPECT_FALSE(s != nullptr);

  s.assign(nullptr, 5);  // null is empty input, yet a buffer for the terminator appears
  ASSERT_NE(s.data, nullptr);
  EXPECT_EQ(s.capacity, 0u);
  EXPECT_EQ(s.data[0], 0);

  s = "hello";
  char* buffer = s.data;
  EXPECT_EQ(s.capacity, 5u);
  s.assign("", 0);  // an existing buffer stays
  EXPECT_EQ(s.data, buffer);
  EXPECT_EQ(s.capacity, 5u);
  EXPECT_EQ(s.size, 0u);
  EXPECT_EQ(s.data[0], 0);
  s = nullptr;
  EXPECT_EQ(s.data, buffer);
}

TEST(String, AssignFromItsOwnBytes) {
  nk::string s("abcdefgh");
  s.reserve(40);
  s.assign(s.data + 4, 100);  // the second half, count clamped to what is there
  EXPECT_EQ(bytes(s), "efgh");
  EXPECT_EQ(s.capacity, 4u);
  s.assign(s.data + 1, 2);
  EXPECT_EQ(bytes(s), "fg");
  s.assign(s.data + s.size, 3);  // its own terminator: empty
  EXPECT_EQ(s.size, 0u);
  EXPECT_EQ(s.capacity, 0u);
  ASSERT_NE(s.data, nullptr);
  EXPECT_EQ(s.data[0], 0);
}

TEST(String, AppendToItself) {
  nk::string s("abc");
  s += s;
  EXPECT_EQ(bytes(s), "abcabc");
  EXPECT_EQ(s.capacity, 6u);  // append grows to exactly what is needed
  s.append(s.data + 4, 100);
  EXPECT_EQ(bytes(s), "abcabcbc");
  s.append(s.data + s.size, 1);
  EXPECT_EQ(bytes(s), "abcabcbc");
  nk::string empty;
  empty += empty;
  empty.append(nullptr, 4);
  empty.append("xyz", 0);
  EXPECT_EQ(empty.data, nullptr);
  empty.append("xyz", 2);
  EXPECT_EQ(bytes(empty), "xy");
  EXPECT_EQ(empty.capacity, 2u);
}

TEST(String, PushBackDoublesFromSixteen) {
  nk::string s;
  std::vector<uint64_t> capacities;
  for (int i = 0; i < 33; ++i) {
    s.push_back(char('a' + i % 26));
    capacities.push_back(s.capacity);
  }
  EXPECT_EQ(capacities[0], 16u);
  EXPECT_EQ(capacities[15], 16u);
  EXPECT_EQ(capacities[16], 32u);
  EXPECT_EQ(capacities[32], 64u);
  EXPECT_EQ(s.data[33], 0);

  nk::string three("abc");  // full: doubles its size
  three.push_back('d');
  EXPECT_EQ(three.capacity, 6u);
  nk::string bare;
  bare.assign("", 0);  // a buffer of capacity 0
  bare.push_back('x');
  EXPECT_EQ(bare.capacity, 16u);
}

TEST(String, ReserveIsExact) {
  nk::string s("ab");
  s.reserve(10);
  char* buffer = s.data;
  s.reserve(3);
  s.reserve(10);
  EXPECT_EQ(s.data, buffer);
  EXPECT_EQ(s.capacity, 10u);
  EXPECT_EQ(bytes(s), "ab");
  EXPECT_EQ(s.data[2], 0);
}

TEST(String, ZeroBytesAreOrdinaryBytes) {
  nk::string s("ab\0c", 4);
  EXPECT_EQ(s.size, 4u);
  EXPECT_EQ(s.find('\0'), 2u);
  EXPECT_EQ(s.find('c', 3), 3u);
  EXPECT_EQ(s.find('a', 1), nk::npos);
  EXPECT_EQ(s.find('a', 99), nk::npos);
  EXPECT_FALSE(s == "ab");  // the sizes differ
  EXPECT_TRUE(s != "ab");
  nk::string copy(s);
  EXPECT_EQ(bytes(copy), std::string("ab\0c", 4));
  EXPECT_TRUE((nk::string_view{copy.data, 4} == nk::string_view{"ab\0c", 4}));
  EXPECT_FALSE((nk::string_view{copy.data, 4} == nk::string_view{"ab\0d", 4}));
  EXPECT_EQ(bytes(s.substr(1, 2)), std::string("b\0", 2));
  nk::string counted(nullptr, 7);
  EXPECT_EQ(counted.size, 0u);
  EXPECT_EQ(nk::string_length(nullptr), 0u);
}

TEST(String, SubstringClampsItsRange) {
  nk::string s("abc");
  EXPECT_EQ(s.substr(5, 3).size, 0u);
  EXPECT_EQ(bytes(s.substr(1)), "bc");
  nk::string part = s.substr(0, 2);
  EXPECT_EQ(part.capacity, 2u);
  EXPECT_TRUE(part == "ab");
}

TEST(String, MovesTakeTheBuffer) {
  nk::string s("moving");
  char* buffer = s.data;
  nk::string taken(static_cast<nk::string&&>(s));
  EXPECT_EQ(taken.data, buffer);
  EXPECT_EQ(taken.size, 6u);
  EXPECT_EQ(taken.capacity, 6u);
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(s.size + s.capacity, 0u);
}

TEST(ByteVector, InsertAndAssignDoubleFromFour) {
  nk::vector<uint8_t> v;
  EXPECT_EQ(v.insert(v.data, nullptr, nullptr), nullptr);
  v.assign(nullptr, nullptr);
  EXPECT_EQ(v.data, nullptr);

  const uint8_t abc[] = {1, 2, 3}, ten[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  v.assign(abc, abc + 3);
  EXPECT_EQ(v.capacity, 4u);
  v.assign(ten, ten + 10);
  EXPECT_EQ(v.capacity, 16u);
  EXPECT_EQ(std::vector<uint8_t>(v.data, v.data + v.size), std::vector<uint8_t>(ten, ten + 10));

  nk::vector<uint8_t> w;
  w.reserve(10);
  w.assign(ten, ten + 10);
  EXPECT_EQ(w.capacity, 10u);
  uint8_t* at = w.insert(w.data + 2, abc, abc + 1);
  EXPECT_EQ(w.capacity, 20u);
  EXPECT_EQ(at, w.data + 2);
  EXPECT_EQ(std::vector<uint8_t>(w.data, w.data + w.size),
            (std::vector<uint8_t>{0, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  at = w.insert(w.data + w.size, abc, abc + 3);
  EXPECT_EQ(at, w.data + 11);
  EXPECT_EQ(w.data[13], 3);
  EXPECT_EQ(w.insert(w.data + 1, abc, abc), w.data + 1);
}

TEST(ByteVector, ResizeFillsOnlyNewBytes) {
  nk::vector<uint8_t> v;
  const uint8_t seven[] = {7, 7, 7};
  v.assign(seven, seven + 3);
  v.resize(9);
  EXPECT_EQ(v.capacity, 9u);
  EXPECT_EQ(std::vector<uint8_t>(v.data, v.data + 9), (std::vector<uint8_t>{7, 7, 7, 0, 0, 0, 0, 0, 0}));
  v.data[8] = 5;
  v.resize(2);
  EXPECT_EQ(v.capacity, 9u);
  EXPECT_EQ(v.data[8], 5);  // kept beyond the size
  v.resize(2);
  EXPECT_EQ(v.size, 2u);
}

TEST(StringVector, EmplaceCopiesAndDoublesFromFour) {
  nk::vector<nk::string> v;
  nk::string item("item");
  v.emplace_back(item);
  EXPECT_EQ(v.capacity, 4u);
  for (int i = 0; i < 4; ++i) v.emplace_back(item);
  EXPECT_EQ(v.capacity, 8u);
  EXPECT_NE(v.data[0].data, item.data);
  v.data[0].push_back('!');
  EXPECT_TRUE(v.data[1] == "item");
  EXPECT_TRUE(item == "item");
  v.pop_back();
  EXPECT_EQ(v.size, 4u);
}

TEST(StringVector, GrowthMovesTheStrings) {
  nk::vector<nk::string> v;
  for (const char* s : {"a", "b", "c", "d"}) v.emplace_back(nk::string(s));
  std::vector<char*> buffers;
  for (uint64_t i = 0; i < v.size; ++i) buffers.push_back(v.data[i].data);
  v.emplace_back(nk::string("e"));  // reallocates: moved, not copied
  for (uint64_t i = 0; i < 4; ++i) EXPECT_EQ(v.data[i].data, buffers[i]);
  EXPECT_TRUE(v.data[4] == "e");
  v.clear();
  EXPECT_EQ(v.size, 0u);
  EXPECT_EQ(v.capacity, 8u);
}

// An element that reports its destruction, to watch the order.
std::vector<int> g_destroyed;
struct Tracer {
  int id;
  Tracer(int i) : id(i) {}
  Tracer(const Tracer& other) : id(other.id) {}
  Tracer(Tracer&& other) : id(other.id) { other.id = -1; }
  ~Tracer() {
    if (id >= 0) g_destroyed.push_back(id);
  }
};

TEST(StringVector, ClearDestroysFromTheLastElement) {
  {
    nk::vector<Tracer> v;
    for (int i = 0; i < 5; ++i) v.emplace_back(Tracer(i));
    g_destroyed.clear();
    v.clear();
    EXPECT_EQ(g_destroyed, (std::vector<int>{4, 3, 2, 1, 0}));
    v.emplace_back(Tracer(9));
    g_destroyed.clear();
  }
  EXPECT_EQ(g_destroyed, std::vector<int>{9});  // the destructor clears too
}

}  // namespace
