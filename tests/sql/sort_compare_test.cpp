// Key comparison of the sort: the byte-level comparisons of dm values (compare_dm and the
// slot comparison of the sort, which reads text and binary keys eight bytes at a time) must
// order every pair exactly as compare_values orders the values themselves, for every kind
// they take a short cut for and for the kinds and mixtures they leave to the general path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "driver/sql/sort.h"
#include "driver/sql/sort_internal.h"
#include "support/dm.h"
#include "support/memory.h"
#include "support/value.h"

namespace {

constexpr int32_t FIELD_SIZE = 64;  // room for the longest value below, header included

int sign(int order) {
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// The values compared pairwise: NULLs, numbers around their edges, text with trailing
// blanks, high bytes and lengths on both sides of the 8-byte words, binary likewise.
std::vector<QuillValue*> sample_values(MemPool* pool) {
  std::vector<QuillValue*> values;
  auto add = [&](auto set) {
    QuillValue* value = NewValue(pool, FIELD_SIZE - 16);
    set(value);
    values.push_back(value);
  };
  for (int32_t n : {-7, 0, 3, 2147483647}) add([n](QuillValue* v) { set_value_to_int(v, n); });
  for (int64_t n : {static_cast<int64_t>(-1) << 40, static_cast<int64_t>(3), INT64_MAX})
    add([n](QuillValue* v) { set_value_to_bigint(v, n); });
  for (double d : {-2.5, 0.0, 3.0, 1e300, std::nan("")})
    add([d](QuillValue* v) { set_value_to_double(v, d); });
  const std::string texts[] = {"",
                               "a",
                               "a  ",
                               "ab",
                               "b",
                               "abcdefg",
                               "abcdefgh",
                               "abcdefgh  ",
                               "abcdefghi",
                               "abcdefgg",
                               "\xff",
                               "a\xff",
                               " ",
                               "abcdefghijklmnopq",
                               "abcdefghijklmnopr"};
  for (const std::string& text : texts)
    add([&text](QuillValue* v) { set_value_to_text(v, text.data(), text.size()); });
  const std::string bytes[] = {std::string(), std::string(1, '\0'), std::string(2, '\0'),
                               "\x01\x02",    "\x01\x02 ",          "\xff",
                               "12345678",    "123456789",          "12345679"};
  for (const std::string& data : bytes)
    add([&data](QuillValue* v) {
      set_value_to_binary(v, data.data(), data.size());
      v->length = FIELD_SIZE - 16;
    });
  for (int kind : {VALUE_INTEGER, VALUE_CHARACTER, VALUE_BINARY, VALUE_DOUBLE})
    add([kind](QuillValue* v) { set_value_null(v, kind); });
  return values;
}

TEST(SortCompare, DmAndSlotOrdersAgreeWithValueOrder) {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  std::vector<QuillValue*> values = sample_values(pool);
  // A sort of one key whose slots are built by hand: the key's dm, then the record number.
  SortKey key{VALUE_CHARACTER, 0, FIELD_SIZE, 0};
  SortWork* sort = nullptr;
  SortContext context{nullptr, -1, nullptr, nullptr};
  ASSERT_EQ(sort_open(FIELD_SIZE, false, 1, &key, &sort, nullptr, context), SORT_OK);
  ASSERT_EQ(sort->slot_size, FIELD_SIZE + 8);
  std::vector<std::vector<unsigned char>> slots;
  for (QuillValue* value : values) {
    // Garbage after the value: the comparisons must not read it as part of the key.
    std::vector<unsigned char> slot(static_cast<size_t>(sort->slot_size), 0xA5);
    ASSERT_GT(value_to_dm(slot.data(), value), 0);
    slots.push_back(slot);
  }
  int checked = 0;
  for (size_t i = 0; i < values.size(); ++i)
    for (size_t j = 0; j < values.size(); ++j) {
      int expected = sign(compare_values(values[i], values[j]));
      SCOPED_TRACE(testing::Message() << "values " << i << " and " << j);
      EXPECT_EQ(sign(compare_dm(slots[i].data(), slots[j].data(), 0)), expected);
      EXPECT_EQ(sign(sort_compare_slots(sort, slots[i].data(), slots[j].data())), expected);
      ++checked;
    }
  EXPECT_GT(checked, 1000);
  sort_close(sort);
  for (QuillValue* value : values) release_value(pool, value);
  quill_mem_release_handle(pool);
}

}  // namespace
