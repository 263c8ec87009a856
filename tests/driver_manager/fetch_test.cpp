// Fetching through the Driver Manager over generated tables (`rows_<N>`, served
// by the backend module): row limits with row arrays, the result-set file of a
// static cursor, absolute and bookmark positioning, SQLSetPos, partial rowsets
// and row-wise binding.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/backend/rows_data.h"
#include "tests/driver_manager/manager_session.h"

namespace {

std::string g_work_dir;  // the connection's work directory (result-set files go there)

class ModuleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/quill_fetch_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    std::string dir = pattern;
    g_work_dir = dir + "/work";
    ASSERT_EQ(0, mkdir(g_work_dir.c_str(), 0700));
    std::ofstream(dir + "/odbcinst.ini") << "[Quillmoor Ethereum ODBC Driver]\n"
                                         << "Driver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(dir + "/odbc.ini") << "[quill_rows]\n"
                                     << "Driver=Quillmoor Ethereum ODBC Driver\n"
                                     << "URI=http://127.0.0.1:1\nconnect_probe=no\n"
                                     << "work_dir_path=" << g_work_dir << "\n";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    setenv("QUILLDRV_BACKEND_MODULE", QUILL_ROWS_MODULE_PATH, 1);
  }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

// Open descriptors of this process on result-set files of the work directory (each is
// unlinked as soon as it is made, so it shows as "(deleted)").
int open_result_set_files() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  while (dirent* entry = readdir(dir)) {
    char target[512] = {0};
    std::string link = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    std::string path(target, static_cast<size_t>(n));
    if (path.rfind(g_work_dir + "/rs", 0) == 0 && path.find(".tmp") != std::string::npos) ++count;
  }
  closedir(dir);
  return count;
}

struct Fetching : DmSession {
  Fetching() : DmSession("quill_rows") {}
  std::string state() const { return diag().state; }
  void set(SQLINTEGER attribute, SQLULEN value) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, attribute, reinterpret_cast<SQLPOINTER>(value), 0))
        << state();
  }
  void scrollable() {
    set(SQL_ATTR_CURSOR_SCROLLABLE, SQL_SCROLLABLE);
    set(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
  }
  void query(int rows) {
    std::string sql = "SELECT ID, S1 FROM rows_" + std::to_string(rows);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << state();
  }
};

TEST_F(Fetching, MaxRowsWithRowArrays) {
  SQLINTEGER ids[4] = {0};
  SQLULEN fetched = 0;
  SQLUSMALLINT status[4] = {0};
  set(SQL_ATTR_MAX_ROWS, 10);
  set(SQL_ATTR_ROW_ARRAY_SIZE, 4);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
  query(1000);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, ids, 0, nullptr));
  const SQLULEN expected[] = {4, 4, 2};
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << round;
    EXPECT_EQ(expected[round], fetched);
    EXPECT_EQ(round * 4 + 1, ids[0]);
  }
  // The partial rowset: its missing rows are SQL_ROW_NOROW.
  EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
  EXPECT_EQ(SQL_ROW_NOROW, status[2]);
  EXPECT_EQ(SQL_ROW_NOROW, status[3]);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
}

TEST_F(Fetching, StaticCursorMakesItsFileOnlyPastTheCache) {
  struct Case {
    int rows;
    int files;
  };
  for (const Case c : {Case{30, 0}, Case{31, 1}}) {
    SCOPED_TRACE(c.rows);
    scrollable();
    query(c.rows);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0));
    EXPECT_EQ(c.files, open_result_set_files());
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &id, 0, nullptr));
    EXPECT_EQ(c.rows, id);
    // Back to the first row: read again from the cache or the file.
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &id, 0, nullptr));
    EXPECT_EQ(1, id);
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
    EXPECT_EQ(0, open_result_set_files());
  }
  // Nothing is ever left in the directory.
  DIR* dir = opendir(g_work_dir.c_str());
  ASSERT_NE(nullptr, dir);
  int entries = 0;
  while (dirent* entry = readdir(dir)) entries += entry->d_name[0] != '.';
  closedir(dir);
  EXPECT_EQ(0, entries);
}

TEST_F(Fetching, AbsoluteZeroThenNextAndForwardOnlyRefusals) {
  scrollable();
  query(29);
  SQLINTEGER id = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &id, 0, nullptr));
  EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0));
  EXPECT_EQ(1, id);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 17));
  EXPECT_EQ(17, id);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, -3));
  EXPECT_EQ(14, id);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0));
  EXPECT_EQ(13, id);
  EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 30));
  // Bookmarks are off: HY106.
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 0));
  EXPECT_EQ("HY106", state());
  SQLCloseCursor(stmt);
  SQLHSTMT forward = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &forward));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(forward, (SQLCHAR*)"SELECT ID FROM rows_5", SQL_NTS));
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(forward, SQL_FETCH_PRIOR, 0));
  SQLCHAR code[6] = {0};
  SQLGetDiagRec(SQL_HANDLE_STMT, forward, 1, code, nullptr, nullptr, 0, nullptr);
  EXPECT_STREQ("HY106", reinterpret_cast<char*>(code));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(forward));
  EXPECT_EQ(SQL_ERROR, SQLSetPos(forward, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE));
  SQLGetDiagRec(SQL_HANDLE_STMT, forward, 1, code, nullptr, nullptr, 0, nullptr);
  EXPECT_STREQ("HY109", reinterpret_cast<char*>(code));
  SQLFreeHandle(SQL_HANDLE_STMT, forward);
}

TEST_F(Fetching, BookmarksAndSetPos) {
  set(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE);
  scrollable();
  set(SQL_ATTR_ROW_ARRAY_SIZE, 4);
  query(31);
  SQLINTEGER ids[4] = {0};
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, ids, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 9));
  EXPECT_EQ(9, ids[0]);
  // SQLSetPos row 5 of a rowset of 4.
  EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 5, SQL_POSITION, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ("HY109", state());
  ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << state();
  SQLINTEGER bookmark = 0, id = 0;
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 0, SQL_C_SLONG, &bookmark, 0, &length)) << state();
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &id, 0, nullptr));
  EXPECT_EQ(11, bookmark);
  EXPECT_EQ(11, id);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 2));
  EXPECT_EQ(13, ids[0]);
  bookmark = 0;
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 0));
  EXPECT_EQ("HY111", state());
  // Changing data through a read-only cursor is refused.
  EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ("HY092", state());
}

// One row of a row-wise bound rowset.
struct BoundRow {
  SQLINTEGER id;
  SQLLEN id_length;
  char s1[rows_data::kTextBufferSize];
  SQLLEN s1_length;
};

TEST_F(Fetching, RowWiseBindingWithOffsetAndTruncation) {
  BoundRow rows[3 + 1] = {};
  SQLLEN offset = sizeof(BoundRow);  // rows land one element further on
  set(SQL_ATTR_ROW_BIND_TYPE, sizeof(BoundRow));
  set(SQL_ATTR_ROW_ARRAY_SIZE, 3);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0));
  query(7);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].id_length));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, rows[0].s1, 8, &rows[0].s1_length));
  // Every s1 is longer than 7 characters: each row is cut, with a warning.
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(stmt));
  EXPECT_EQ("01004", state());
  EXPECT_EQ(0, rows[0].id);
  for (int r = 0; r < 3; ++r) {
    char full[rows_data::kTextBufferSize];
    size_t length = rows_data::s1(r + 1, full);
    EXPECT_EQ(r + 1, rows[r + 1].id);
    EXPECT_EQ(std::string(full, 7), rows[r + 1].s1);
    EXPECT_EQ(static_cast<SQLLEN>(length), rows[r + 1].s1_length);
  }
}

}  // namespace
