// type_matches and __dynamic_cast over hand-built Itanium type descriptors and objects.

#include <cstddef>
#include <cstdint>

#include "support/library_test.h"

namespace {

using TypeMatches = bool(const void* thrown, const void* wanted);
using DynamicCast = void*(const void* object, const void* source, const void* target,
                          std::ptrdiff_t hint);

// The words of a class descriptor the library reads: vtable, name, single base.
struct Descriptor {
  const void* vtable;
  const char* name;
  const Descriptor* base;
};

class TypeMatching : public nk::test::LibraryTest {
 protected:
  const void* address_point(const char* vtable) {
    return reinterpret_cast<const char*>(lib.export_address(vtable)) + 16;
  }
  bool matches(const void* thrown, const void* wanted) { return type_matches(thrown, wanted); }

  TypeMatches* type_matches = lib.internal_function<TypeMatches>("type_matches");
  const void* plain_class = address_point("_ZTVN10__cxxabiv117__class_type_infoE");
  const void* single = address_point("_ZTVN10__cxxabiv120__si_class_type_infoE");
  const void* multiple = address_point("_ZTVN10__cxxabiv121__vmi_class_type_infoE");

  Descriptor root{plain_class, "4Root", nullptr};
  Descriptor middle{single, "6Middle", &root};
  Descriptor leaf{single, "4Leaf", &middle};
  Descriptor other{plain_class, "5Other", nullptr};
};

TEST_F(TypeMatching, TheThreeVtablesAreDistinctZeroedObjects) {
  EXPECT_NE(plain_class, single);
  EXPECT_NE(single, multiple);
  EXPECT_NE(plain_class, multiple);
  for (const char* name : {"_ZTVN10__cxxabiv117__class_type_infoE",
                           "_ZTVN10__cxxabiv120__si_class_type_infoE",
                           "_ZTVN10__cxxabiv121__vmi_class_type_infoE"}) {
    const uint64_t* words = lib.data<const uint64_t>(name);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(words[i], 0u) << name << " word " << i;
  }
}

TEST_F(TypeMatching, NullWantedCatchesEverythingAndNullThrownMatchesNothingElse) {
  EXPECT_TRUE(matches(&leaf, nullptr));
  EXPECT_TRUE(matches(nullptr, nullptr));
  EXPECT_FALSE(matches(nullptr, &root));
}

TEST_F(TypeMatching, WalksUpTheSingleInheritanceChainOnly) {
  EXPECT_TRUE(matches(&leaf, &leaf));
  EXPECT_TRUE(matches(&leaf, &middle));
  EXPECT_TRUE(matches(&leaf, &root));
  EXPECT_TRUE(matches(&middle, &root));
  EXPECT_FALSE(matches(&root, &leaf));
  EXPECT_FALSE(matches(&middle, &leaf));
  EXPECT_FALSE(matches(&leaf, &other));
}

TEST_F(TypeMatching, DescriptorsFromDifferentModulesMatchByName) {
  char leaf_name[] = "4Leaf";
  char root_name[] = "4Root";
  char longer_name[] = "4Leafy";
  Descriptor leaf_copy{single, leaf_name, nullptr};
  Descriptor root_copy{plain_class, root_name, nullptr};
  Descriptor longer{single, longer_name, nullptr};
  EXPECT_TRUE(matches(&leaf, &leaf_copy));
  EXPECT_TRUE(matches(&leaf, &root_copy));  // found on the chain by name
  EXPECT_FALSE(matches(&leaf, &longer));
  EXPECT_FALSE(matches(&longer, &leaf));
}

TEST_F(TypeMatching, MissingNamesMatchOnlyEachOther) {
  Descriptor unnamed_a{plain_class, nullptr, nullptr};
  Descriptor unnamed_b{plain_class, nullptr, nullptr};
  Descriptor unnamed_leaf{single, nullptr, &root};
  EXPECT_TRUE(matches(&unnamed_a, &unnamed_b));
  EXPECT_FALSE(matches(&unnamed_a, &root));
  EXPECT_FALSE(matches(&root, &unnamed_a));
  EXPECT_TRUE(matches(&unnamed_leaf, &root));  // the walk goes on past a missing name
}

TEST_F(TypeMatching, OtherDescriptorKindsEndTheWalk) {
  // Word 2 of these looks like a base pointer but must not be followed.
  Descriptor with_several_bases{multiple, "5Multi", &root};
  Descriptor plain_with_word2{plain_class, "5Plain", &root};
  EXPECT_TRUE(matches(&with_several_bases, &with_several_bases));
  EXPECT_FALSE(matches(&with_several_bases, &root));
  EXPECT_FALSE(matches(&plain_with_word2, &root));
}

// An object layout as the compiler builds it: the vtable's address point is preceded by the
// complete object's type_info and the offset to the top of the complete object.
struct FakeVtable {
  intptr_t offset_to_top;
  const void* type;
  const void* first_function;
};

TEST_F(TypeMatching, DynamicCastReturnsTheCompleteObjectWhenItsTypeMatches) {
  auto* dynamic_cast_ = fn<DynamicCast>("__dynamic_cast");
  // A complete Leaf of 32 bytes whose Middle part is placed 16 bytes in.
  alignas(16) uintptr_t leaf_object[4] = {};
  FakeVtable leaf_vtable{0, &leaf, nullptr};
  FakeVtable middle_in_leaf{-16, &leaf, nullptr};
  leaf_object[0] = reinterpret_cast<uintptr_t>(&leaf_vtable.first_function);
  leaf_object[2] = reinterpret_cast<uintptr_t>(&middle_in_leaf.first_function);
  void* middle_part = &leaf_object[2];

  EXPECT_EQ(dynamic_cast_(middle_part, &middle, &leaf, -1), leaf_object);
  EXPECT_EQ(dynamic_cast_(leaf_object, &root, &middle, 0), leaf_object);
  EXPECT_EQ(dynamic_cast_(middle_part, &middle, &other, -1), nullptr);
  EXPECT_EQ(dynamic_cast_(nullptr, &middle, &leaf, -1), nullptr);
  EXPECT_EQ(dynamic_cast_(middle_part, &middle, nullptr, -1), nullptr);

  uintptr_t middle_object[2] = {};
  FakeVtable middle_vtable{0, &middle, nullptr};
  middle_object[0] = reinterpret_cast<uintptr_t>(&middle_vtable.first_function);
  EXPECT_EQ(dynamic_cast_(middle_object, &root, &leaf, 0), nullptr);
  EXPECT_EQ(dynamic_cast_(middle_object, &root, &root, 0), middle_object);
}

}  // namespace
