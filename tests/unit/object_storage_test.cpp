// Object's field storage against a plain ordered map: whatever mix of
// integer, object and text keys arrives, in whatever order, lookups find
// every field, and the enumeration order is integers ascending, then objects
// by address, then texts case-insensitively. Large objects take text keys
// out of order and sort them lazily; removals and renumbering keep every
// position consistent.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "values/object.h"

namespace {

// The reference key: kind first (integers, objects, texts), then the value.
struct RefKey {
  int Kind;
  int64_t Integer;
  uintptr_t Address;
  std::wstring Folded;
  bool operator<(const RefKey& other) const {
    return std::tie(Kind, Integer, Address, Folded) < std::tie(other.Kind, other.Integer, other.Address, other.Folded);
  }
};

// A-Z folded to a-z, as keys compare.
std::wstring Folded(const std::wstring& text) {
  std::wstring out(text);
  for (wchar_t& c : out)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  return out;
}

// A text key of random case from a small alphabet, so that keys collide.
std::wstring RandomText(std::mt19937& random) {
  static const wchar_t kLetters[] = L"abcXYZ_9";
  std::uniform_int_distribution<int> length(1, 4), letter(0, 7), upper(0, 1);
  std::wstring text;
  for (int i = length(random); i > 0; --i) {
    wchar_t c = kLetters[letter(random)];
    if (upper(random) && c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    text += c;
  }
  return text;
}

// Checks that the object holds exactly the reference's fields, in order.
void ExpectSameAsReference(Object& object, const std::map<RefKey, int64_t>& reference) {
  object.SortKeys();
  ASSERT_EQ(object.FieldCount(), reference.size());
  size_t i = 0;
  for (const auto& [key, value] : reference) {
    const ObjectField& field = object.FieldAt(i);
    ASSERT_EQ(static_cast<int>(object.KeyKindAt(i)), key.Kind) << "position " << i;
    switch (object.KeyKindAt(i)) {
      case KeyKind::Integer: EXPECT_EQ(field.IntKey, key.Integer); break;
      case KeyKind::Object: EXPECT_EQ(reinterpret_cast<uintptr_t>(field.ObjectKey), key.Address); break;
      case KeyKind::Text: EXPECT_EQ(Folded(field.TextKey), key.Folded); break;
    }
    ASSERT_EQ(field.Kind, ExprSymbol::Integer);
    EXPECT_EQ(field.IntValue, value) << "position " << i;
    ++i;
  }
}

class ObjectStorage : public ::testing::TestWithParam<unsigned> {};

TEST_P(ObjectStorage, MatchesAnOrderedMapUnderRandomStoresAndRemovals) {
  std::mt19937 random(GetParam());
  Object* object = Object::Create();
  std::vector<Object*> keyObjects;
  for (int i = 0; i < 8; ++i) keyObjects.push_back(Object::Create());
  std::map<RefKey, int64_t> reference;
  std::uniform_int_distribution<int> action(0, 9), kind(0, 2), smallInt(-50, 50), which(0, 7);
  for (int step = 0; step < 4000; ++step) {
    ObjectKey key;
    RefKey ref{};
    std::wstring text;
    switch (kind(random)) {
      case 0:
        key = ObjectKey::OfInteger(smallInt(random));
        ref = {0, key.Integer, 0, L""};
        break;
      case 1: {
        Object* target = keyObjects[static_cast<size_t>(which(random))];
        key = ObjectKey::OfObject(target);
        ref = {1, 0, reinterpret_cast<uintptr_t>(target), L""};
        break;
      }
      default:
        text = RandomText(random);
        key = ObjectKey::OfText(text);
        ref = {2, 0, 0, Folded(text)};
        break;
    }
    if (action(random) < 7) {
      ObjectField* field = object->FieldFor(key);
      ASSERT_NE(field, nullptr);
      Object::SetInteger(*field, step);
      reference[ref] = step;
    } else {
      size_t at = 0;
      ObjectField* field = object->FindField(key, &at);
      ASSERT_EQ(field != nullptr, reference.count(ref) == 1) << "step " << step;
      if (field) {
        object->RemoveFields(at, at + 1);
        reference.erase(ref);
      }
    }
    // Every key in the reference can be found, with its value.
    if (step % 500 == 0) ExpectSameAsReference(*object, reference);
  }
  ExpectSameAsReference(*object, reference);
  object->Release();
  for (Object* key : keyObjects) key->Release();
}

INSTANTIATE_TEST_SUITE_P(Seeds, ObjectStorage, ::testing::Values(1u, 2u, 3u, 42u));

TEST(ObjectStorageLarge, ManyTextKeysOutOfOrderAreFoundAndEnumeratedSorted) {
  Object* object = Object::Create();
  constexpr int kKeys = 20000;
  // Descending, so that every key would land in front of the others.
  for (int i = kKeys; i > 0; --i) {
    const std::wstring name = L"Key" + std::to_wstring(i);
    Object::SetInteger(*object->FieldFor(ObjectKey::OfText(name)), i);
  }
  ASSERT_EQ(object->FieldCount(), static_cast<size_t>(kKeys));
  for (int i = 1; i <= kKeys; i += 997) {
    const std::wstring name = L"KEY" + std::to_wstring(i);
    ObjectField* field = object->FindField(ObjectKey::OfText(name));
    ASSERT_NE(field, nullptr) << i;
    EXPECT_EQ(field->IntValue, i);
  }
  object->SortKeys();
  for (size_t i = 1; i < object->FieldCount(); ++i)
    ASSERT_LT(CompareKeyText(object->FieldAt(i - 1).TextKey, object->FieldAt(i).TextKey), 0) << i;
  object->Release();
}

TEST(ObjectStorageLarge, IntegerKeysShiftAndArraysGrowByDoubling) {
  Object* object = Object::Create();
  EXPECT_EQ(object->Capacity(), 0u);
  for (int64_t i = 1; i <= 5; ++i) Object::SetInteger(*object->FieldFor(ObjectKey::OfInteger(i)), i * 10);
  EXPECT_EQ(object->Capacity(), 8u);  // 4, then doubled
  object->ShiftIntegerKeys(2, 1);     // keys 3, 4, 5 move up to 4, 5, 6
  EXPECT_EQ(object->FindField(ObjectKey::OfInteger(3)), nullptr);
  EXPECT_EQ(object->FindField(ObjectKey::OfInteger(6))->IntValue, 50);
  EXPECT_EQ(object->ArrayLength(), 6);
  object->Release();
}

}  // namespace
