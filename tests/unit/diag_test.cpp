// Error headers, posting, SQLGetDiagRec and SQLGetDiagField over a header.
#include "support/diag.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char kE[] = "\xC3\xA9";              // é, 2 bytes
const char kEmoji[] = "\xF0\x9F\x98\x80";  // U+1F600, 4 bytes

class DiagTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = quill_mem_alloc_handle(nullptr);
    ASSERT_NE(pool_, nullptr);
    header_ = CreateErrorHeader(pool_, this);
    ASSERT_NE(header_, nullptr);
  }
  void TearDown() override {
    FreeErrorHeader(header_);
    quill_mem_release_handle(pool_);
  }

  void Post(const char* state, const char* message, int native = 0,
            const char* origin = "ISO 9075") {
    PostError(header_, DIAG_LEVEL_CALL, 0, 0, native, 0, origin, state, "%s", message);
  }

  std::string Message(SQLSMALLINT record) {
    SQLCHAR buf[32767];
    SQLSMALLINT len = 0;
    GetDiagRec(header_, record, nullptr, nullptr, buf, sizeof buf, &len);
    return reinterpret_cast<char*>(buf);
  }

  std::string StringField(SQLSMALLINT handle_type, SQLSMALLINT record, SQLSMALLINT id,
                          SQLRETURN expected = SQL_SUCCESS) {
    char buf[512];
    std::memset(buf, 'Z', sizeof buf);
    SQLSMALLINT len = -1;
    EXPECT_EQ(GetDiagField(handle_type, header_, record, id, buf, sizeof buf, &len), expected)
        << "identifier " << id;
    if (expected != SQL_SUCCESS) return {};
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen(buf))) << "identifier " << id;
    return buf;
  }

  MemPool* pool_ = nullptr;
  ErrorHeader* header_ = nullptr;
};

TEST_F(DiagTest, NewHeaderIsEmpty) {
  EXPECT_EQ(GetErrorCount(header_), 0);
  EXPECT_EQ(GetReturnCode(header_), SQL_SUCCESS);
  EXPECT_EQ(header_->owner, this);
  SQLCHAR state[6];
  EXPECT_EQ(GetDiagRec(header_, 1, state, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
}

TEST_F(DiagTest, RecordsComeBackInPostingOrder) {
  Post("HY000", "first", 1);
  Post("01004", "second", 2);
  Post("42000", "third", 3);
  ASSERT_EQ(GetErrorCount(header_), 3);
  const char* states[] = {"HY000", "01004", "42000"};
  const char* messages[] = {"first", "second", "third"};
  for (SQLSMALLINT i = 1; i <= 3; ++i) {
    SQLCHAR state[6] = "?????";
    SQLINTEGER native = -1;
    SQLCHAR msg[64];
    SQLSMALLINT len = -1;
    EXPECT_EQ(GetDiagRec(header_, i, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(state), states[i - 1]);
    EXPECT_EQ(native, i);
    EXPECT_STREQ(reinterpret_cast<char*>(msg), messages[i - 1]);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen(messages[i - 1])));
  }
  EXPECT_EQ(GetDiagRec(header_, 4, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
}

TEST_F(DiagTest, PostErrorFormats) {
  PostError(header_, DIAG_LEVEL_CALL, 0, 0, 7, 0, "ISO 9075", "HY000", "General error: %s %d",
            "code", 42);
  EXPECT_EQ(Message(1), "General error: code 42");
  auto* rec = static_cast<DiagRecord*>(ListData(ListFirst(header_->records)));
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->level, DIAG_LEVEL_CALL);
  EXPECT_EQ(rec->row_number, SQL_ROW_NUMBER_UNKNOWN);
  EXPECT_EQ(rec->column_number, SQL_COLUMN_NUMBER_UNKNOWN);
}

TEST_F(DiagTest, GetDiagRecArgumentErrors) {
  Post("HY000", "x");
  SQLCHAR msg[8];
  EXPECT_EQ(GetDiagRec(header_, 0, nullptr, nullptr, msg, sizeof msg, nullptr), SQL_ERROR);
  EXPECT_EQ(GetDiagRec(header_, -1, nullptr, nullptr, msg, sizeof msg, nullptr), SQL_ERROR);
  EXPECT_EQ(GetDiagRec(header_, 1, nullptr, nullptr, msg, -1, nullptr), SQL_ERROR);
  EXPECT_EQ(GetDiagRec(header_, 2, nullptr, nullptr, msg, sizeof msg, nullptr), SQL_NO_DATA);
  EXPECT_EQ(GetDiagRec(nullptr, 1, nullptr, nullptr, msg, sizeof msg, nullptr), SQL_INVALID_HANDLE);
}

struct TruncCase {
  std::string message;
  SQLSMALLINT buffer_length;
  std::string expected;
  SQLRETURN rc;
};

TEST_F(DiagTest, GetDiagRecTruncatesAtWholeCharacters) {
  const std::string e_msg = std::string("abc") + kE + "d";         // 6 bytes
  const std::string emoji_msg = std::string("ab") + kEmoji + "c";  // 7 bytes
  const TruncCase cases[] = {
      {e_msg, 7, e_msg, SQL_SUCCESS},
      {e_msg, 6, std::string("abc") + kE, SQL_SUCCESS_WITH_INFO},
      {e_msg, 5, "abc", SQL_SUCCESS_WITH_INFO},  // 4 bytes of room would split é
      {e_msg, 4, "abc", SQL_SUCCESS_WITH_INFO},
      {e_msg, 1, "", SQL_SUCCESS_WITH_INFO},
      {emoji_msg, 8, emoji_msg, SQL_SUCCESS},
      {emoji_msg, 7, std::string("ab") + kEmoji, SQL_SUCCESS_WITH_INFO},
      {emoji_msg, 6, "ab", SQL_SUCCESS_WITH_INFO},
      {emoji_msg, 5, "ab", SQL_SUCCESS_WITH_INFO},
      {emoji_msg, 4, "ab", SQL_SUCCESS_WITH_INFO},
      {emoji_msg, 3, "ab", SQL_SUCCESS_WITH_INFO},
      {emoji_msg, 2, "a", SQL_SUCCESS_WITH_INFO},
  };
  for (const auto& c : cases) {
    SetupErrorHeader(header_, 0);
    Post("01004", c.message.c_str());
    SQLCHAR buf[16];
    std::memset(buf, 'Z', sizeof buf);
    SQLSMALLINT len = -1;
    SQLCHAR state[6];
    EXPECT_EQ(GetDiagRec(header_, 1, state, nullptr, buf, c.buffer_length, &len), c.rc)
        << c.message << " / " << c.buffer_length;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), c.expected)
        << c.message << " / " << c.buffer_length;
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(c.message.size()));
    EXPECT_EQ(buf[c.buffer_length], 'Z') << "wrote past the buffer";
    EXPECT_STREQ(reinterpret_cast<char*>(state), "01004");
  }
}

TEST_F(DiagTest, GetDiagRecNullMessageAndZeroLength) {
  Post("HY000", "hello");
  SQLSMALLINT len = 0;
  // A null message buffer only reports the length: not a truncation.
  EXPECT_EQ(GetDiagRec(header_, 1, nullptr, nullptr, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 5);
  SQLCHAR buf[4] = {'Z', 'Z', 'Z', 'Z'};
  EXPECT_EQ(GetDiagRec(header_, 1, nullptr, nullptr, buf, 0, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(buf[0], 'Z');
  EXPECT_EQ(len, 5);
}

TEST_F(DiagTest, LongMessagesAreKeptWhole) {
  std::string text(10000, 'm');
  text[0] = 'A';
  text[9999] = 'Z';
  Post("HY000", text.c_str());
  SQLSMALLINT len = 0;
  EXPECT_EQ(GetDiagRec(header_, 1, nullptr, nullptr, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 10000);
  std::string got(10001, '\0');
  EXPECT_EQ(
      GetDiagRec(header_, 1, nullptr, nullptr, reinterpret_cast<SQLCHAR*>(got.data()), 10001, &len),
      SQL_SUCCESS);
  got.resize(std::strlen(got.c_str()));
  EXPECT_EQ(got, text);
  // Built from several arguments, crossing the first 4 KiB attempt.
  SetupErrorHeader(header_, 0);
  std::string half(5000, 'h');
  PostError(header_, DIAG_LEVEL_CALL, 0, 0, 0, 0, nullptr, "HY000", "%s|%s|%d", half.c_str(),
            half.c_str(), 12345);
  EXPECT_EQ(Message(1), half + "|" + half + "|12345");
}

TEST_F(DiagTest, HugeMessagesAreCappedAt64KiB) {
  std::string text(100000, 'x');
  Post("HY000", text.c_str());
  auto* rec = static_cast<DiagRecord*>(ListData(ListFirst(header_->records)));
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(std::strlen(rec->message), 65535u);
  SQLSMALLINT len = 0;
  EXPECT_EQ(GetDiagRec(header_, 1, nullptr, nullptr, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 32767);  // the most an SQLSMALLINT can report
}

TEST_F(DiagTest, HugeMultibyteMessageCutAtCharacter) {
  std::string text;
  while (text.size() < 70000) text += kEmoji;
  Post("HY000", text.c_str());
  auto* rec = static_cast<DiagRecord*>(ListData(ListFirst(header_->records)));
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(std::strlen(rec->message), 65532u);  // 16383 whole emoji
}

TEST_F(DiagTest, BadSqlstatesBecomeHY000) {
  const char* bad[] = {nullptr, "", "HY", "HY0000", "hy000", "HY 00", "H!000"};
  for (const char* state : bad) {
    SetupErrorHeader(header_, 0);
    PostError(header_, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", state, "oops");
    SQLCHAR got[6] = "?????";
    EXPECT_EQ(GetDiagRec(header_, 1, got, nullptr, nullptr, 0, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(got), "HY000") << (state ? state : "(null)");
  }
}

TEST_F(DiagTest, SetupClearsRecordsAndKeepsHeaderFieldsUnlessMode1) {
  Post("HY000", "x");
  SetReturnCode(header_, SQL_ERROR);
  SetDiagRowCount(header_, 5);
  SetDiagCursorRowCount(header_, 6);
  SetDiagDynamicFunction(header_, "SELECT CURSOR", SQL_DIAG_SELECT_CURSOR);
  SetDiagNames(header_, "conn", "server");
  header_->sqlerror_returned = 2;
  SetupErrorHeader(header_, 0);
  EXPECT_EQ(GetErrorCount(header_), 0);
  EXPECT_EQ(GetReturnCode(header_), SQL_SUCCESS);
  EXPECT_EQ(header_->sqlerror_returned, 0);
  EXPECT_EQ(header_->row_count, 5);
  EXPECT_EQ(header_->cursor_row_count, 6);
  EXPECT_STREQ(header_->dynamic_function, "SELECT CURSOR");
  EXPECT_EQ(header_->dynamic_function_code, SQL_DIAG_SELECT_CURSOR);
  Post("01004", "y");
  EXPECT_EQ(Message(1), "y");
  SetupErrorHeader(header_, 1);
  EXPECT_EQ(GetErrorCount(header_), 0);
  EXPECT_EQ(header_->row_count, 0);
  EXPECT_EQ(header_->cursor_row_count, 0);
  EXPECT_STREQ(header_->dynamic_function, "");
  EXPECT_STREQ(header_->connection_name, "conn");
  EXPECT_STREQ(header_->server_name, "server");
}

TEST_F(DiagTest, HeaderPoolsAreReleased) {
  long before = quill_mem_live_pools();
  ErrorHeader* h = CreateErrorHeader(pool_, nullptr);
  ASSERT_NE(h, nullptr);
  for (int i = 0; i < 10; ++i) {
    PostError(h, DIAG_LEVEL_CALL, 0, 0, 0, 0, nullptr, "HY000", "r%d", i);
    SetupErrorHeader(h, i % 2);
  }
  FreeErrorHeader(h);
  EXPECT_EQ(quill_mem_live_pools(), before);
  // A header left alone goes with the pool it was made from.
  MemPool* parent = quill_mem_alloc_handle(nullptr);
  h = CreateErrorHeader(parent, nullptr);
  ASSERT_NE(h, nullptr);
  PostError(h, DIAG_LEVEL_CALL, 0, 0, 0, 0, nullptr, "HY000", "x");
  quill_mem_release_handle(parent);
  EXPECT_EQ(quill_mem_live_pools(), before);
}

struct ReturnCodeCase {
  std::initializer_list<int> codes;
  int expected;
};

TEST_F(DiagTest, SetReturnCodeKeepsTheWorst) {
  const ReturnCodeCase cases[] = {
      {{}, SQL_SUCCESS},
      {{SQL_SUCCESS_WITH_INFO}, SQL_SUCCESS_WITH_INFO},
      {{SQL_ERROR}, SQL_ERROR},
      {{SQL_ERROR, SQL_SUCCESS_WITH_INFO}, SQL_ERROR},
      {{SQL_ERROR, SQL_SUCCESS}, SQL_ERROR},
      {{SQL_ERROR, SQL_NO_DATA}, SQL_ERROR},
      {{SQL_SUCCESS_WITH_INFO, SQL_ERROR}, SQL_ERROR},
      {{SQL_NO_DATA}, SQL_NO_DATA},
      {{SQL_NO_DATA, SQL_SUCCESS_WITH_INFO}, SQL_NO_DATA},
      {{SQL_NEED_DATA}, SQL_NEED_DATA},
      {{SQL_STILL_EXECUTING}, SQL_STILL_EXECUTING},
      {{SQL_SUCCESS_WITH_INFO, SQL_NEED_DATA}, SQL_NEED_DATA},
      {{SQL_NEED_DATA, SQL_ERROR, SQL_NO_DATA}, SQL_ERROR},
  };
  for (const auto& c : cases) {
    SetupErrorHeader(header_, 0);
    for (int code : c.codes) SetReturnCode(header_, code);
    EXPECT_EQ(GetReturnCode(header_), c.expected);
  }
}

TEST_F(DiagTest, SetErrorCountKeepsTheFirstRecords) {
  for (int i = 1; i <= 5; ++i)
    PostError(header_, DIAG_LEVEL_CALL, 0, 0, i, 0, nullptr, "HY000", "record %d", i);
  SetErrorCount(header_, 7);  // more than there are: nothing changes
  EXPECT_EQ(GetErrorCount(header_), 5);
  SetErrorCount(header_, 2);
  EXPECT_EQ(GetErrorCount(header_), 2);
  EXPECT_EQ(ListCount(header_->records), 2);
  EXPECT_EQ(Message(1), "record 1");
  EXPECT_EQ(Message(2), "record 2");
  EXPECT_EQ(GetDiagRec(header_, 3, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
  SQLINTEGER n = -1;
  EXPECT_EQ(GetDiagField(SQL_HANDLE_DBC, header_, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 2);
  Post("01004", "after");  // posting goes on after the kept ones
  EXPECT_EQ(Message(3), "after");
  SetErrorCount(header_, 0);
  EXPECT_EQ(GetErrorCount(header_), 0);
  EXPECT_EQ(header_->records, nullptr);
  Post("01004", "again");
  EXPECT_EQ(Message(1), "again");
}

TEST_F(DiagTest, PostDalErrorUsesTheComponentAsOrigin) {
  PostDalError(header_, "ETH", 77, "08S01", "link failure %s");  // taken as is, not a format
  EXPECT_EQ(Message(1), "link failure %s");
  EXPECT_EQ(StringField(SQL_HANDLE_STMT, 1, SQL_DIAG_CLASS_ORIGIN), "ETH");
  EXPECT_EQ(StringField(SQL_HANDLE_STMT, 1, SQL_DIAG_SUBCLASS_ORIGIN), "ODBC 3.0");
  SQLINTEGER native = 0;
  EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 1, SQL_DIAG_NATIVE, &native, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(native, 77);
}

TEST_F(DiagTest, HeaderFieldsWithTheirTypes) {
  Post("HY000", "a");
  Post("HY001", "b");
  SetReturnCode(header_, SQL_ERROR);
  SetDiagRowCount(header_, 123456789012LL);
  SetDiagCursorRowCount(header_, -7);
  SetDiagDynamicFunction(header_, "UPDATE WHERE", SQL_DIAG_UPDATE_WHERE);

  // Sentinels around each value catch a write of the wrong width.
  struct {
    SQLLEN value;
    SQLLEN after;
  } len_box{0, 0x5A5A};
  for (SQLSMALLINT record : {0, 1, 9}) {  // the record number is ignored for header fields
    len_box = {0, 0x5A5A};
    EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, record, SQL_DIAG_ROW_COUNT, &len_box.value, 0,
                           nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(len_box.value, 123456789012LL);
    EXPECT_EQ(len_box.after, 0x5A5A);
  }
  len_box = {0, 0x5A5A};
  EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 0, SQL_DIAG_CURSOR_ROW_COUNT, &len_box.value, 0,
                         nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(len_box.value, -7);

  struct {
    SQLINTEGER value;
    SQLINTEGER after;
  } int_box{0, 0x5A5A};
  EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 0, SQL_DIAG_NUMBER, &int_box.value, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(int_box.value, 2);
  EXPECT_EQ(int_box.after, 0x5A5A);
  int_box = {0, 0x5A5A};
  EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 0, SQL_DIAG_DYNAMIC_FUNCTION_CODE,
                         &int_box.value, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(int_box.value, SQL_DIAG_UPDATE_WHERE);
  EXPECT_EQ(int_box.after, 0x5A5A);

  struct {
    SQLRETURN value;
    SQLSMALLINT after;
  } rc_box{0, 0x5A5A};
  EXPECT_EQ(
      GetDiagField(SQL_HANDLE_STMT, header_, 0, SQL_DIAG_RETURNCODE, &rc_box.value, 0, nullptr),
      SQL_SUCCESS);
  EXPECT_EQ(rc_box.value, SQL_ERROR);
  EXPECT_EQ(rc_box.after, 0x5A5A);

  EXPECT_EQ(StringField(SQL_HANDLE_STMT, 0, SQL_DIAG_DYNAMIC_FUNCTION), "UPDATE WHERE");
}

TEST_F(DiagTest, StatementOnlyHeaderFields) {
  const SQLSMALLINT stmt_only[] = {SQL_DIAG_CURSOR_ROW_COUNT, SQL_DIAG_DYNAMIC_FUNCTION,
                                   SQL_DIAG_DYNAMIC_FUNCTION_CODE, SQL_DIAG_ROW_COUNT};
  const SQLSMALLINT others[] = {SQL_HANDLE_ENV, SQL_HANDLE_DBC, SQL_HANDLE_DESC};
  char buf[64];
  SQLSMALLINT len = 0;
  for (SQLSMALLINT id : stmt_only) {
    for (SQLSMALLINT type : others)
      EXPECT_EQ(GetDiagField(type, header_, 0, id, buf, sizeof buf, &len), SQL_ERROR)
          << "identifier " << id << " handle type " << type;
    EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 0, id, buf, sizeof buf, &len), SQL_SUCCESS)
        << "identifier " << id;
  }
  // NUMBER and RETURNCODE answer on every handle type.
  for (SQLSMALLINT type : others) {
    SQLINTEGER n = -1;
    SQLRETURN rc = -5;
    EXPECT_EQ(GetDiagField(type, header_, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(GetDiagField(type, header_, 0, SQL_DIAG_RETURNCODE, &rc, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rc, SQL_SUCCESS);
  }
}

TEST_F(DiagTest, RecordFieldsWithTheirTypes) {
  Post("HY000", "first", 11, "ISO 9075");
  Post("IM001", "second", 22, "ODBC 3.0");
  SetDiagNames(header_, "my connection", "my server");
  auto* rec2 = static_cast<DiagRecord*>(ListData(ListNext(ListFirst(header_->records))));
  ASSERT_NE(rec2, nullptr);
  rec2->row_number = 3;
  rec2->column_number = 4;

  for (SQLSMALLINT type : {SQL_HANDLE_ENV, SQL_HANDLE_DBC, SQL_HANDLE_STMT, SQL_HANDLE_DESC}) {
    EXPECT_EQ(StringField(type, 1, SQL_DIAG_SQLSTATE), "HY000");
    EXPECT_EQ(StringField(type, 2, SQL_DIAG_SQLSTATE), "IM001");
    EXPECT_EQ(StringField(type, 1, SQL_DIAG_MESSAGE_TEXT), "first");
    EXPECT_EQ(StringField(type, 2, SQL_DIAG_MESSAGE_TEXT), "second");
    EXPECT_EQ(StringField(type, 1, SQL_DIAG_CLASS_ORIGIN), "ISO 9075");
    EXPECT_EQ(StringField(type, 2, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");
    EXPECT_EQ(StringField(type, 1, SQL_DIAG_SUBCLASS_ORIGIN), "ISO 9075");
    EXPECT_EQ(StringField(type, 2, SQL_DIAG_SUBCLASS_ORIGIN), "ODBC 3.0");
    EXPECT_EQ(StringField(type, 1, SQL_DIAG_CONNECTION_NAME), "my connection");
    EXPECT_EQ(StringField(type, 2, SQL_DIAG_SERVER_NAME), "my server");
  }

  struct {
    SQLINTEGER value;
    SQLINTEGER after;
  } int_box{0, 0x5A5A};
  EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 2, SQL_DIAG_NATIVE, &int_box.value, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(int_box.value, 22);
  EXPECT_EQ(int_box.after, 0x5A5A);
  int_box = {0, 0x5A5A};
  EXPECT_EQ(
      GetDiagField(SQL_HANDLE_STMT, header_, 2, SQL_DIAG_COLUMN_NUMBER, &int_box.value, 0, nullptr),
      SQL_SUCCESS);
  EXPECT_EQ(int_box.value, 4);
  EXPECT_EQ(int_box.after, 0x5A5A);
  int_box = {0, 0x5A5A};
  EXPECT_EQ(
      GetDiagField(SQL_HANDLE_STMT, header_, 1, SQL_DIAG_COLUMN_NUMBER, &int_box.value, 0, nullptr),
      SQL_SUCCESS);
  EXPECT_EQ(int_box.value, SQL_COLUMN_NUMBER_UNKNOWN);

  struct {
    SQLLEN value;
    SQLLEN after;
  } len_box{0, 0x5A5A};
  EXPECT_EQ(
      GetDiagField(SQL_HANDLE_STMT, header_, 2, SQL_DIAG_ROW_NUMBER, &len_box.value, 0, nullptr),
      SQL_SUCCESS);
  EXPECT_EQ(len_box.value, 3);
  EXPECT_EQ(len_box.after, 0x5A5A);
  len_box = {0, 0x5A5A};
  EXPECT_EQ(
      GetDiagField(SQL_HANDLE_STMT, header_, 1, SQL_DIAG_ROW_NUMBER, &len_box.value, 0, nullptr),
      SQL_SUCCESS);
  EXPECT_EQ(len_box.value, SQL_ROW_NUMBER_UNKNOWN);
}

TEST_F(DiagTest, EmptyNamesByDefault) {
  Post("HY000", "x");
  EXPECT_EQ(StringField(SQL_HANDLE_ENV, 1, SQL_DIAG_CONNECTION_NAME), "");
  EXPECT_EQ(StringField(SQL_HANDLE_ENV, 1, SQL_DIAG_SERVER_NAME), "");
  EXPECT_EQ(StringField(SQL_HANDLE_STMT, 0, SQL_DIAG_DYNAMIC_FUNCTION), "");
  SetDiagNames(header_, "c", nullptr);
  EXPECT_EQ(StringField(SQL_HANDLE_ENV, 1, SQL_DIAG_CONNECTION_NAME), "c");
  EXPECT_EQ(StringField(SQL_HANDLE_ENV, 1, SQL_DIAG_SERVER_NAME), "");
}

TEST_F(DiagTest, RecordFieldArgumentErrors) {
  Post("HY000", "only");
  char buf[16];
  SQLSMALLINT len = 0;
  const SQLSMALLINT record_fields[] = {
      SQL_DIAG_CLASS_ORIGIN, SQL_DIAG_COLUMN_NUMBER, SQL_DIAG_CONNECTION_NAME,
      SQL_DIAG_MESSAGE_TEXT, SQL_DIAG_NATIVE,        SQL_DIAG_ROW_NUMBER,
      SQL_DIAG_SERVER_NAME,  SQL_DIAG_SQLSTATE,      SQL_DIAG_SUBCLASS_ORIGIN};
  for (SQLSMALLINT id : record_fields) {
    EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 0, id, buf, sizeof buf, &len), SQL_ERROR)
        << "identifier " << id;
    EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, -1, id, buf, sizeof buf, &len), SQL_ERROR)
        << "identifier " << id;
    EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 2, id, buf, sizeof buf, &len), SQL_NO_DATA)
        << "identifier " << id;
    EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 1, id, buf, sizeof buf, &len), SQL_SUCCESS)
        << "identifier " << id;
  }
  // Unknown identifiers.
  for (SQLSMALLINT id : {0, 13, 14, 99, -1, 1000})
    EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 1, id, buf, sizeof buf, &len), SQL_ERROR)
        << "identifier " << id;
  // Negative buffer length on a string field.
  EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 1, SQL_DIAG_MESSAGE_TEXT, buf, -1, &len),
            SQL_ERROR);
  EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, header_, 0, SQL_DIAG_DYNAMIC_FUNCTION, buf, -1, &len),
            SQL_ERROR);
  EXPECT_EQ(GetDiagField(SQL_HANDLE_STMT, nullptr, 1, SQL_DIAG_MESSAGE_TEXT, buf, 16, &len),
            SQL_INVALID_HANDLE);
}

TEST_F(DiagTest, StringFieldTruncationAndNullValue) {
  const std::string text = std::string("na") + kE + "ve " + kEmoji;  // 11 bytes
  Post("01004", text.c_str());
  SQLSMALLINT len = 0;
  // Null value pointer: only the length.
  EXPECT_EQ(GetDiagField(SQL_HANDLE_DBC, header_, 1, SQL_DIAG_MESSAGE_TEXT, nullptr, 0, &len),
            SQL_SUCCESS);
  EXPECT_EQ(len, 11);
  struct Case {
    SQLSMALLINT buffer_length;
    std::string expected;
    SQLRETURN rc;
  };
  const Case cases[] = {
      {12, text, SQL_SUCCESS},
      {11, std::string("na") + kE + "ve ", SQL_SUCCESS_WITH_INFO},  // emoji would be split
      {9, std::string("na") + kE + "ve ", SQL_SUCCESS_WITH_INFO},
      {8, std::string("na") + kE + "ve ", SQL_SUCCESS_WITH_INFO},
      {7, std::string("na") + kE + "ve", SQL_SUCCESS_WITH_INFO},
      {4, "na", SQL_SUCCESS_WITH_INFO},  // é would be split
      {3, "na", SQL_SUCCESS_WITH_INFO},
      {1, "", SQL_SUCCESS_WITH_INFO},
  };
  for (const auto& c : cases) {
    char buf[16];
    std::memset(buf, 'Z', sizeof buf);
    len = -1;
    EXPECT_EQ(
        GetDiagField(SQL_HANDLE_DBC, header_, 1, SQL_DIAG_MESSAGE_TEXT, buf, c.buffer_length, &len),
        c.rc)
        << c.buffer_length;
    EXPECT_EQ(std::string(buf), c.expected) << c.buffer_length;
    EXPECT_EQ(len, 11);
    EXPECT_EQ(buf[c.buffer_length], 'Z');
  }
  // The SQLSTATE itself is a string field subject to the same rule.
  char state[4];
  EXPECT_EQ(GetDiagField(SQL_HANDLE_DBC, header_, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(state, "010");
  EXPECT_EQ(len, 5);
  // Integer fields accept a null value pointer.
  EXPECT_EQ(GetDiagField(SQL_HANDLE_DBC, header_, 1, SQL_DIAG_NATIVE, nullptr, 0, nullptr),
            SQL_SUCCESS);
}

struct OriginCase {
  const char* sqlstate;
  const char* subclass_origin;
};

TEST_F(DiagTest, SubclassOriginFollowsTheOdbcList) {
  const OriginCase cases[] = {
      {"01000", "ISO 9075"}, {"01004", "ISO 9075"}, {"01S00", "ODBC 3.0"}, {"01S02", "ODBC 3.0"},
      {"07009", "ISO 9075"}, {"07S01", "ODBC 3.0"}, {"08001", "ISO 9075"}, {"08S01", "ODBC 3.0"},
      {"21S01", "ODBC 3.0"}, {"22018", "ISO 9075"}, {"25S01", "ODBC 3.0"}, {"42000", "ISO 9075"},
      {"42S02", "ODBC 3.0"}, {"HY000", "ISO 9075"}, {"HY001", "ISO 9075"}, {"HY010", "ISO 9075"},
      {"HY024", "ISO 9075"}, {"HY092", "ISO 9075"}, {"HYC00", "ISO 9075"}, {"HY095", "ODBC 3.0"},
      {"HY097", "ODBC 3.0"}, {"HY101", "ODBC 3.0"}, {"HY105", "ODBC 3.0"}, {"HY111", "ODBC 3.0"},
      {"HYT00", "ODBC 3.0"}, {"HYT01", "ODBC 3.0"}, {"IM001", "ODBC 3.0"}, {"IM012", "ODBC 3.0"},
      {"S1000", "ODBC 3.0"}, {nullptr, "ISO 9075"},  // stored as HY000
  };
  for (const auto& c : cases) {
    SetupErrorHeader(header_, 0);
    PostError(header_, DIAG_LEVEL_CALL, 0, 0, 0, 0, nullptr, c.sqlstate, "m");
    EXPECT_EQ(StringField(SQL_HANDLE_STMT, 1, SQL_DIAG_SUBCLASS_ORIGIN), c.subclass_origin)
        << (c.sqlstate ? c.sqlstate : "(null)");
    // A null class origin is taken as "ISO 9075".
    EXPECT_EQ(StringField(SQL_HANDLE_STMT, 1, SQL_DIAG_CLASS_ORIGIN), "ISO 9075");
  }
}

}  // namespace
