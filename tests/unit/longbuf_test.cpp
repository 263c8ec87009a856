// Long buffers: piecewise write and read across the memory-to-file spill, the NULL and
// empty states, and the private work file.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/longbuf.h"
#include "support/value.h"

namespace {

int EntriesIn(const std::string& directory) {
  DIR* dir = opendir(directory.c_str());
  if (!dir) return -1;
  int count = 0;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") ++count;
  }
  closedir(dir);
  return count;
}

class LongBufferTest : public testing::Test {
 protected:
  void SetUp() override {
    pool_ = quill_mem_alloc_handle(nullptr);
    char pattern[] = "/tmp/quill_longbuf_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    quill_mem_release_handle(pool_);
    rmdir(directory_.c_str());
  }
  MemPool* pool_ = nullptr;
  std::string directory_;
};

TEST_F(LongBufferTest, PiecesAcrossTheSpill) {
  LongBuffer* buffer =
      allocate_long_buffer(pool_, 1, 2, (directory_ + "/").c_str(), SQL_LONGVARCHAR);
  ASSERT_NE(buffer, nullptr);
  std::vector<unsigned char> data(3 * LONG_BUFFER_MEMORY_LIMIT + 123);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 31 + i / 997);
  for (size_t done = 0; done < data.size();) {
    size_t piece = std::min<size_t>(7919, data.size() - done);
    ASSERT_EQ(append_to_long_buffer(buffer, data.data() + done, piece), 0);
    done += piece;
    EXPECT_EQ(long_buffer_is_spilled(buffer), done > LONG_BUFFER_MEMORY_LIMIT);
  }
  EXPECT_EQ(long_buffer_length(buffer), static_cast<int64_t>(data.size()));
  EXPECT_EQ(EntriesIn(directory_), 0);  // the work file has no name while open

  // Reads in pieces of several sizes, each after a rewind.
  for (size_t piece : {size_t{1000}, size_t{65536}, data.size(), data.size() + 5}) {
    ASSERT_EQ(rewind_long_buffer(buffer), 0);
    std::vector<unsigned char> read;
    std::vector<unsigned char> chunk(piece);
    int status = LONG_BUFFER_MORE;
    while (status == LONG_BUFFER_MORE) {
      SQLLEN got = 0;
      status = extract_from_long_buffer(buffer, chunk.data(), piece, &got, 0);
      ASSERT_GE(status, 0);
      read.insert(read.end(), chunk.begin(), chunk.begin() + got);
    }
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(read == data) << "piece " << piece;
    SQLLEN got = 99;
    EXPECT_EQ(extract_from_long_buffer(buffer, chunk.data(), piece, &got, 0), LONG_BUFFER_NO_DATA);
    EXPECT_EQ(got, 0);
  }
  unsigned char middle[4];
  ASSERT_EQ(read_long_buffer_at(buffer, 100000, middle, 4), 4);
  EXPECT_EQ(middle[0], data[100000]);
  free_long_buffer(buffer);
  EXPECT_EQ(EntriesIn(directory_), 0);
}

TEST_F(LongBufferTest, NullEmptyAndBadDirectory) {
  EXPECT_EQ(allocate_long_buffer(pool_, 0, 0, "/nonexistent/quill", SQL_LONGVARBINARY), nullptr);
  LongBuffer* buffer = allocate_long_buffer(pool_, 0, 0, directory_.c_str(), SQL_LONGVARBINARY);
  ASSERT_NE(buffer, nullptr);
  char out[8];
  SQLLEN got = 5;
  // An empty value gives one empty piece, then no data.
  EXPECT_EQ(extract_from_long_buffer(buffer, out, sizeof out, &got, 0), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(extract_from_long_buffer(buffer, out, sizeof out, &got, 0), LONG_BUFFER_NO_DATA);
  set_long_buffer_null(buffer);
  EXPECT_EQ(long_buffer_length(buffer), -1);
  EXPECT_EQ(extract_from_long_buffer(buffer, out, sizeof out, &got, 0), 0);
  EXPECT_EQ(got, SQL_NULL_DATA);
  ASSERT_EQ(append_to_long_buffer(buffer, "xyz", 3), 0);
  EXPECT_EQ(long_buffer_length(buffer), 3);
  reset_long_buffer(buffer);
  EXPECT_EQ(long_buffer_length(buffer), 0);
  EXPECT_EQ(append_to_long_buffer(nullptr, "x", 1), -1);
  EXPECT_EQ(rewind_long_buffer(nullptr), -1);
  free_long_buffer(buffer);
}

TEST_F(LongBufferTest, LongValuesCopyCompareAndPrint) {
  LongBuffer* buffer = allocate_long_buffer(pool_, 0, 0, directory_.c_str(), SQL_LONGVARCHAR);
  ASSERT_NE(buffer, nullptr);
  std::string text(LONG_BUFFER_MEMORY_LIMIT + 10, 'q');
  ASSERT_EQ(append_to_long_buffer(buffer, text.data(), text.size()), 0);
  QuillValue* value = NewValue(pool_, 0);
  ASSERT_EQ(set_value_to_long(value, VALUE_LONG_CHARACTER, buffer), 0);
  QuillValue* copy = duplicate_value(pool_, value);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->long_buffer, buffer);
  EXPECT_EQ(long_buffer_length(copy->long_buffer), static_cast<int64_t>(text.size()));
  EXPECT_EQ(compare_values(value, copy), 0);
  QuillValue* shorter = NewValue(pool_, 8);
  set_value_to_text(shorter, "qqq   ", 6);
  EXPECT_GT(compare_values(value, shorter), 0);
  char printed[VALUE_TEXT_SIZE];
  EXPECT_EQ(value_as_text(value, printed), static_cast<int>(VALUE_TEXT_SIZE - 1));
  release_value(pool_, copy);
  release_value(pool_, value);
  EXPECT_EQ(EntriesIn(directory_), 0);
}

}  // namespace

namespace {

int g_fills = 0;
int fill_hello(LongBuffer* buffer) {
  ++g_fills;
  return append_to_long_buffer(buffer, "hello", 5);
}
int fill_null(LongBuffer* buffer) {
  ++g_fills;
  set_long_buffer_null(buffer);
  return 0;
}
int fill_fails(LongBuffer*) {
  ++g_fills;
  return -1;
}

// A deferred read runs once, on the first use of any kind; a failed one reads as an error
// and leaves the buffer empty; new content cancels a pending read.
TEST_F(LongBufferTest, DeferredReadRunsOnceOnFirstUse) {
  struct Case {
    LongFill fill;
    int64_t length;  // long_buffer_length after the read
    bool null;
    int fills;
  } cases[] = {{fill_hello, 5, false, 1}, {fill_null, -1, true, 1}, {fill_fails, 0, false, 1}};
  for (const Case& c : cases) {
    g_fills = 0;
    LongBuffer* buffer = allocate_long_buffer(pool_, 0, 0, directory_.c_str(), SQL_LONGVARCHAR);
    ASSERT_NE(buffer, nullptr);
    append_to_long_buffer(buffer, "old", 3);
    defer_long_buffer(buffer, c.fill, nullptr, 7);
    EXPECT_EQ(g_fills, 0);
    EXPECT_EQ(buffer->source_item, 7);
    EXPECT_EQ(long_buffer_is_null(buffer), c.null);
    EXPECT_EQ(long_buffer_length(buffer), c.length);
    EXPECT_EQ(g_fills, c.fills);
    free_long_buffer(buffer);
  }

  // Through a value: NULL-ness comes from the read.
  g_fills = 0;
  QuillValue* value = NewValue(pool_, 0);
  LongBuffer* buffer = allocate_long_buffer(pool_, 0, 0, directory_.c_str(), SQL_LONGVARCHAR);
  defer_long_buffer(buffer, fill_null, nullptr, 1);
  set_value_to_long(value, VALUE_LONG_CHARACTER, buffer);
  EXPECT_TRUE(is_value_null(value));
  EXPECT_EQ(g_fills, 1);

  // Appending new content first cancels the deferred read.
  LongBuffer* other = allocate_long_buffer(pool_, 0, 0, directory_.c_str(), SQL_LONGVARCHAR);
  defer_long_buffer(other, fill_fails, nullptr, 1);
  reset_long_buffer(other);
  append_to_long_buffer(other, "x", 1);
  EXPECT_EQ(long_buffer_length(other), 1);
  EXPECT_EQ(g_fills, 1);
  free_long_buffer(other);
  release_value(pool_, value);
}

}  // namespace
