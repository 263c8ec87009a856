// Key comparison of the sort: the byte-level comparisons of dm values (compare_dm and the
// slot comparison of the sort, which reads text and binary keys eight bytes at a time) must
// order every pair exactly as compare_values orders the values themselves, for every kind
// they take a short cut for and for the kinds and mixtures they leave to the general path;
// a sort over normalized keys returns the order (stable, both directions, unique) that
// compare_values gives, also when a value of another kind turns it back to dm keys, in memory
// and after runs spilled.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
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
  // The slots below hold dm keys: the sort must compare them as such.
  ASSERT_EQ(sort_use_dm_keys(sort), SORT_OK);
  ASSERT_FALSE(sort->normalized);
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

// Test record: the key's dm in FIELD_SIZE bytes, then the arrival number.
constexpr int32_t RECORD_SIZE = FIELD_SIZE + 4;

std::vector<unsigned char> make_record(const QuillValue* value, int32_t seq) {
  std::vector<unsigned char> record(RECORD_SIZE, 0);
  EXPECT_GT(value_to_dm(record.data(), value), 0);
  std::memcpy(record.data() + FIELD_SIZE, &seq, sizeof seq);
  return record;
}

// What a sort of `values` (each inserted `copies` times, the arrival number counting
// inserts) must return: arrival numbers in compare_values order, ties by arrival, the first
// of equal keys only when unique.
std::vector<int32_t> expected_order(const std::vector<QuillValue*>& values, int copies,
                                    bool descending, bool unique) {
  std::vector<int32_t> seqs;
  for (int32_t i = 0; i < static_cast<int32_t>(values.size()) * copies; ++i) seqs.push_back(i);
  auto value_of = [&](int32_t seq) { return values[static_cast<size_t>(seq) % values.size()]; };
  auto order = [&](int32_t x, int32_t y) {
    int c = compare_values(value_of(x), value_of(y));
    return descending ? c > 0 : c < 0;
  };
  std::stable_sort(seqs.begin(), seqs.end(), order);
  if (unique)
    seqs.erase(std::unique(seqs.begin(), seqs.end(),
                           [&](int32_t x, int32_t y) {
                             return compare_values(value_of(x), value_of(y)) == 0;
                           }),
               seqs.end());
  return seqs;
}

// Sorts `values` (inserted `copies` times over) under one key of `kind`: the arrival numbers
// read back, and whether the sort still had normalized keys at the end.
std::vector<int32_t> sort_values(const std::vector<QuillValue*>& values, int copies, int kind,
                                 bool descending, bool unique, const SortContext& context,
                                 bool* normalized) {
  SortKey key{kind, 0, FIELD_SIZE, descending ? SORT_KEY_DESCENDING : 0};
  SortWork* sort = nullptr;
  std::vector<int32_t> seqs;
  EXPECT_EQ(sort_open(RECORD_SIZE, unique, 1, &key, &sort, nullptr, context), SORT_OK);
  if (!sort) return seqs;
  int32_t seq = 0;
  for (int copy = 0; copy < copies; ++copy)
    for (QuillValue* value : values)
      EXPECT_EQ(sort_insert(sort, make_record(value, seq++).data()), SORT_OK);
  EXPECT_EQ(sort_finish(sort), SORT_OK);
  *normalized = sort->normalized;
  unsigned char record[RECORD_SIZE];
  while (sort_read(sort, record) == SORT_OK) {
    int32_t read_seq = 0;
    std::memcpy(&read_seq, record + FIELD_SIZE, sizeof read_seq);
    seqs.push_back(read_seq);
  }
  sort_close(sort);
  return seqs;
}

TEST(SortCompare, NormalizedKeysOrderAsValuesDoInBothDirections) {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  std::vector<QuillValue*> all = sample_values(pool);
  SortContext context{nullptr, -1, nullptr, nullptr};
  struct Case {
    int key_kind;
    std::vector<int> value_kinds;  // non-NULL values of these kinds, then every NULL
    bool stays_normalized;
  } cases[] = {
      {VALUE_INTEGER, {VALUE_INTEGER}, true},
      {VALUE_BIGINT, {VALUE_BIGINT}, true},
      {VALUE_DOUBLE, {VALUE_DOUBLE}, true},
      {VALUE_CHARACTER, {VALUE_CHARACTER}, true},
      {VALUE_BINARY, {VALUE_BINARY}, true},
      // Values of other kinds than the key's turn the sort back to dm keys part-way.
      {VALUE_INTEGER, {VALUE_INTEGER, VALUE_BIGINT, VALUE_DOUBLE}, false},
      {VALUE_DOUBLE, {VALUE_DOUBLE, VALUE_INTEGER}, false},
  };
  for (const Case& c : cases) {
    std::vector<QuillValue*> values;
    for (QuillValue* v : all)
      if (is_value_null(v) || std::count(c.value_kinds.begin(), c.value_kinds.end(), v->kind))
        values.push_back(v);
    for (bool descending : {false, true})
      for (bool unique : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << "key kind " << c.key_kind << " values " << values.size()
                     << (descending ? " desc" : " asc") << (unique ? " unique" : ""));
        bool normalized = false;
        std::vector<int32_t> seqs =
            sort_values(values, 2, c.key_kind, descending, unique, context, &normalized);
        EXPECT_EQ(seqs, expected_order(values, 2, descending, unique));
        EXPECT_EQ(normalized, c.stays_normalized);
      }
  }
  for (QuillValue* value : all) release_value(pool, value);
  quill_mem_release_handle(pool);
}

// Sorts integers past a spilled run, then a double, then more integers, under a 1 MB budget,
// and exits 0 when the order is right and no work file is left.
void sort_other_kind_after_spilled_runs() {
  char dir[] = "/tmp/sortnormXXXXXX";
  if (!mkdtemp(dir)) std::exit(2);
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  std::vector<QuillValue*> values;
  // Under 1 MB the 68-byte records end a run after 15,420 rows: 30,000 integers write one
  // run, and the 14,580 in memory when the double arrives are more than the 72-byte dm slots
  // hold (14,563), so that run is written before the slots widen.
  auto add = [&](auto set) {
    values.push_back(NewValue(pool, 8));
    set(values.back());
  };
  for (int32_t i = 0; i < 30000; ++i)
    add([i](QuillValue* v) { set_value_to_int(v, (i * 7919) % 1000 - 500); });
  add([](QuillValue* v) { set_value_to_double(v, 2.5); });
  for (int32_t i = 0; i < 5000; ++i)
    add([i](QuillValue* v) { set_value_to_int(v, (i * 31) % 1000 - 500); });
  SortContext context{dir, 1, nullptr, nullptr};
  for (bool descending : {false, true}) {
    bool normalized = true;
    std::vector<int32_t> seqs =
        sort_values(values, 1, VALUE_INTEGER, descending, false, context, &normalized);
    EXPECT_FALSE(normalized);
    EXPECT_TRUE(seqs == expected_order(values, 1, descending, false));
  }
  EXPECT_EQ(rmdir(dir), 0);  // every work file is gone
  for (QuillValue* value : values) release_value(pool, value);
  quill_mem_release_handle(pool);
  std::exit(::testing::Test::HasFailure() ? 1 : 0);
}

TEST(SortCompare, AnotherKindAfterSpilledRunsRebuildsTheRunFile) {
  // The budget of 1 MB is remembered for the process: run in a child.
  EXPECT_EXIT(sort_other_kind_after_spilled_runs(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
