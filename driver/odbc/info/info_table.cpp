// The answer table of SQLGetInfo and the function list of SQLGetFunctions.
#include "driver/odbc/info/info_table.h"

#include <iterator>

namespace {

constexpr InfoAnswer small(SQLUSMALLINT type, SQLUINTEGER number) {
  return {type, InfoKind::Small, number, nullptr};
}
constexpr InfoAnswer integer(SQLUSMALLINT type, SQLUINTEGER number) {
  return {type, InfoKind::Integer, number, nullptr};
}
constexpr InfoAnswer text(SQLUSMALLINT type, const char* value) {
  return {type, InfoKind::Text, 0, value};
}
constexpr InfoAnswer from_connection(SQLUSMALLINT type, const char* key) {
  return {type, InfoKind::ConnectionText, 0, key};
}

// One line; the blank after AUTHORIZATION is part of the published answer.
constexpr const char kKeywords[] =
    "ADD,ALL,ALTER,AND,ANY,AS,ASC,AUTHORIZATION, AUTO_INCREMENT,AVG,BETWEEN,BIGINT,"
    "BINARY,BIT,BIT_LENGTH,BOTH,BY,CASCADE,CASE,CAST,CHAR,CHARACTER,CHARACTER_LENGTH,"
    "CHAR_LENGTH,CHECK,COALESCE,COLUMN,COMMITCOUNT,CREATE,CURRENT,CURRENT_DATE,"
    "CURRENT_TIME,CURRENT_TIMESTAMP,CURRENT_USER,DATETIME,DAY,DEC,DECIMAL,DEFAULT,DELETE,"
    "DESC,DISTINCT,DOUBLE,DROP,ELSE,END,ESCAPE,EXISTS,FIRST,FLOAT,FOR,FOREIGN,FROM,FULL,"
    "GRANT,GROUP,HAVING,HOUR,IDENTITY,IN,INDEX,INNER,INSERT,INT,INTEGER,INTERVAL,INTO,IS,"
    "JOIN,KEY,LEADING,LEFT,LIKE,LONG,LONGBLOB,MAX,MEDIUMBLOB,MIDDLEINT,MIN,MINUTE,MONTH,"
    "NATURAL,NO,NOT,NULL,NULLIF,NUMERIC,OCTET_LENGTH,OF,ON,OPTION,OR,ORDER,OUTER,"
    "OVERLAPS,POSITION,PRECISION,PRIMARY,PRIVILEGES,PUBLIC,REAL,REFERENCES,REVOKE,RIGHT,"
    "ROLLBACK,SECOND,SELECT,SET,SMALLINT,SIGNED,SUBSTRING,SUM,TABLE,TEXT,THEN,TIME,"
    "TIMESTAMP,TINYBLOB,TINYINT,TO,TRAILING,TRIM,UNSIGNED,UNION,UNIQUE,UPDATE,UPPER,USER,"
    "USING,VALUE,VALUES,VARBINARY,VARCHAR,VARYING,VIEW,WHEN,WHERE,WITH,WORK,YEAR";

// Ascending by type, so a lookup can stop early and the order is easy to check.
constexpr InfoAnswer kAnswers[] = {
    small(SQL_MAX_DRIVER_CONNECTIONS, 0),
    small(SQL_MAX_CONCURRENT_ACTIVITIES, 0),
    from_connection(SQL_DATA_SOURCE_NAME, "DSN"),
    {SQL_DRIVER_HSTMT, InfoKind::EchoHandle, 0, nullptr},
    {SQL_DRIVER_NAME, InfoKind::DriverFileName, 0, nullptr},
    text(SQL_DRIVER_VER, "01.00.0000"),
    integer(SQL_FETCH_DIRECTION, 191),
    small(SQL_ODBC_API_CONFORMANCE, 1),
    text(SQL_ODBC_VER, "01.00.0000"),
    text(SQL_ROW_UPDATES, "N"),
    small(SQL_ODBC_SAG_CLI_CONFORMANCE, 0),
    text(SQL_SERVER_NAME, "ETH"),
    text(SQL_SEARCH_PATTERN_ESCAPE, "\\"),
    small(SQL_ODBC_SQL_CONFORMANCE, 2),
    text(SQL_DATABASE_NAME, "SF"),
    text(SQL_DBMS_NAME, "Quillmoor Ethereum ODBC Driver"),
    text(SQL_DBMS_VER, "01.00.0000"),
    text(SQL_ACCESSIBLE_TABLES, "Y"),
    text(SQL_ACCESSIBLE_PROCEDURES, "N"),
    text(SQL_PROCEDURES, "N"),
    small(SQL_CONCAT_NULL_BEHAVIOR, 0),
    small(SQL_CURSOR_COMMIT_BEHAVIOR, 2),
    small(SQL_CURSOR_ROLLBACK_BEHAVIOR, 2),
    text(SQL_DATA_SOURCE_READ_ONLY, "N"),
    integer(SQL_DEFAULT_TXN_ISOLATION, 1),
    text(SQL_EXPRESSIONS_IN_ORDERBY, "Y"),
    small(SQL_IDENTIFIER_CASE, 4),
    text(SQL_IDENTIFIER_QUOTE_CHAR, "\""),
    small(SQL_MAX_COLUMN_NAME_LEN, 64),
    small(SQL_MAX_CURSOR_NAME_LEN, 64),
    small(SQL_MAX_SCHEMA_NAME_LEN, 25),
    small(SQL_MAX_PROCEDURE_NAME_LEN, 0),
    small(SQL_MAX_CATALOG_NAME_LEN, 16),
    small(SQL_MAX_TABLE_NAME_LEN, 64),
    text(SQL_MULT_RESULT_SETS, "Y"),
    text(SQL_MULTIPLE_ACTIVE_TXN, "N"),
    text(SQL_OUTER_JOINS, "Y"),
    text(SQL_SCHEMA_TERM, "SCHEMA"),
    text(SQL_PROCEDURE_TERM, "QUERY"),
    text(SQL_CATALOG_NAME_SEPARATOR, "."),
    text(SQL_CATALOG_TERM, "DATABASE"),
    integer(SQL_SCROLL_CONCURRENCY, 10),
    integer(SQL_SCROLL_OPTIONS, 19),
    text(SQL_TABLE_TERM, "table"),
    small(SQL_TXN_CAPABLE, 3),
    from_connection(SQL_USER_NAME, "UID"),
    integer(SQL_CONVERT_FUNCTIONS, 3),
    integer(SQL_NUMERIC_FUNCTIONS, 0xffffff),
    integer(SQL_STRING_FUNCTIONS, 0xffffff),
    integer(SQL_SYSTEM_FUNCTIONS, 7),
    integer(SQL_TIMEDATE_FUNCTIONS, 0x1fffff),
    integer(SQL_CONVERT_BIGINT, 0xfc7fff),
    integer(SQL_CONVERT_BINARY, 0xffffff),
    integer(SQL_CONVERT_BIT, 0xfc7fff),
    integer(SQL_CONVERT_CHAR, 0xffffff),
    integer(SQL_CONVERT_DATE, 0xe68f01),
    integer(SQL_CONVERT_DECIMAL, 0xfc7fff),
    integer(SQL_CONVERT_DOUBLE, 0xfc7fff),
    integer(SQL_CONVERT_FLOAT, 0xfc7fff),
    integer(SQL_CONVERT_INTEGER, 0xfc7fff),
    integer(SQL_CONVERT_LONGVARCHAR, 0xffffff),
    integer(SQL_CONVERT_NUMERIC, 0xfc7fff),
    integer(SQL_CONVERT_REAL, 0xfc7fff),
    integer(SQL_CONVERT_SMALLINT, 0xfc7fff),
    integer(SQL_CONVERT_TIME, 0xe70f01),
    integer(SQL_CONVERT_TIMESTAMP, 0xe78f01),
    integer(SQL_CONVERT_TINYINT, 0xe46dff),
    integer(SQL_CONVERT_VARBINARY, 0xffffff),
    integer(SQL_CONVERT_VARCHAR, 0xffffff),
    integer(SQL_CONVERT_LONGVARBINARY, 0xffffff),
    integer(SQL_TXN_ISOLATION_OPTION, 3),
    text(SQL_INTEGRITY, "Y"),
    small(SQL_CORRELATION_NAME, 2),
    small(SQL_NON_NULLABLE_COLUMNS, 1),
    integer(SQL_DRIVER_HLIB, 0),
    text(SQL_DRIVER_ODBC_VER, "03.51"),
    integer(SQL_LOCK_TYPES, 7),
    integer(SQL_POS_OPERATIONS, 31),
    integer(SQL_POSITIONED_STATEMENTS, 0),
    integer(SQL_GETDATA_EXTENSIONS, 11),
    integer(SQL_BOOKMARK_PERSISTENCE, 18),
    integer(SQL_STATIC_SENSITIVITY, 0),
    small(SQL_FILE_USAGE, 0),
    small(SQL_NULL_COLLATION, 0),
    integer(SQL_ALTER_TABLE, 0),
    text(SQL_COLUMN_ALIAS, "Y"),
    small(SQL_GROUP_BY, 3),
    text(SQL_KEYWORDS, kKeywords),
    text(SQL_ORDER_BY_COLUMNS_IN_SELECT, "N"),
    integer(SQL_SCHEMA_USAGE, 1),
    integer(SQL_CATALOG_USAGE, 1),
    small(SQL_QUOTED_IDENTIFIER_CASE, 4),
    text(SQL_SPECIAL_CHARACTERS, " $"),
    integer(SQL_SUBQUERIES, 31),
    integer(SQL_UNION, 3),
    small(SQL_MAX_COLUMNS_IN_GROUP_BY, 0),
    small(SQL_MAX_COLUMNS_IN_INDEX, 10),
    small(SQL_MAX_COLUMNS_IN_ORDER_BY, 0),
    small(SQL_MAX_COLUMNS_IN_SELECT, 0),
    small(SQL_MAX_COLUMNS_IN_TABLE, 0),
    integer(SQL_MAX_INDEX_SIZE, 83),
    text(SQL_MAX_ROW_SIZE_INCLUDES_LONG, "N"),
    integer(SQL_MAX_ROW_SIZE, 0),
    integer(SQL_MAX_STATEMENT_LEN, 0xfde8),
    small(SQL_MAX_TABLES_IN_SELECT, 0),
    small(SQL_MAX_USER_NAME_LEN, 64),
    integer(SQL_MAX_CHAR_LITERAL_LEN, 255),
    integer(SQL_TIMEDATE_ADD_INTERVALS, 0x1ff),
    integer(SQL_TIMEDATE_DIFF_INTERVALS, 0x1ff),
    text(SQL_NEED_LONG_DATA_LEN, "N"),
    integer(SQL_MAX_BINARY_LITERAL_LEN, 255),
    text(SQL_LIKE_ESCAPE_CLAUSE, "Y"),
    small(SQL_CATALOG_LOCATION, 1),
    integer(SQL_OJ_CAPABILITIES, 127),
    small(SQL_ACTIVE_ENVIRONMENTS, 1),
    integer(SQL_ALTER_DOMAIN, 0),
    integer(SQL_SQL_CONFORMANCE, 1),
    integer(SQL_DATETIME_LITERALS, 0xffff),
    integer(SQL_BATCH_ROW_COUNT, 0),
    integer(SQL_BATCH_SUPPORT, 0),
    integer(SQL_CONVERT_WCHAR, 0xffffff),
    integer(SQL_CONVERT_INTERVAL_DAY_TIME, 0xec6f19),
    integer(SQL_CONVERT_INTERVAL_YEAR_MONTH, 0xec6f19),
    integer(SQL_CONVERT_WLONGVARCHAR, 0xffffff),
    integer(SQL_CONVERT_WVARCHAR, 0xffffff),
    integer(SQL_CREATE_ASSERTION, 0),
    integer(SQL_CREATE_CHARACTER_SET, 0),
    integer(SQL_CREATE_COLLATION, 0),
    integer(SQL_CREATE_DOMAIN, 0),
    integer(SQL_CREATE_SCHEMA, 0),
    integer(SQL_CREATE_TABLE, 0),
    integer(SQL_CREATE_TRANSLATION, 0),
    integer(SQL_CREATE_VIEW, 0),
    integer(SQL_DROP_ASSERTION, 0),
    integer(SQL_DROP_CHARACTER_SET, 0),
    integer(SQL_DROP_COLLATION, 0),
    integer(SQL_DROP_DOMAIN, 0),
    integer(SQL_DROP_SCHEMA, 0),
    integer(SQL_DROP_TABLE, 0),
    integer(SQL_DROP_TRANSLATION, 0),
    integer(SQL_DROP_VIEW, 0),
    integer(SQL_DYNAMIC_CURSOR_ATTRIBUTES1, 0xffc1),
    integer(SQL_DYNAMIC_CURSOR_ATTRIBUTES2, 0x402b),
    integer(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, 0xfdc1),
    integer(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, 3),
    integer(SQL_INDEX_KEYWORDS, 0),
    integer(SQL_INFO_SCHEMA_VIEWS, 0x4b6066),
    integer(SQL_KEYSET_CURSOR_ATTRIBUTES1, 0xffc1),
    integer(SQL_KEYSET_CURSOR_ATTRIBUTES2, 0x402b),
    integer(SQL_ODBC_INTERFACE_CONFORMANCE, 2),
    integer(SQL_PARAM_ARRAY_ROW_COUNTS, 2),
    integer(SQL_PARAM_ARRAY_SELECTS, 2),
    integer(SQL_SQL92_DATETIME_FUNCTIONS, 7),
    integer(SQL_SQL92_FOREIGN_KEY_DELETE_RULE, 15),
    integer(SQL_SQL92_FOREIGN_KEY_UPDATE_RULE, 15),
    integer(SQL_SQL92_GRANT, 0x1ff0),
    integer(SQL_SQL92_NUMERIC_VALUE_FUNCTIONS, 63),
    integer(SQL_SQL92_PREDICATES, 0x3e87),
    integer(SQL_SQL92_RELATIONAL_JOIN_OPERATORS, 0x3d8),
    integer(SQL_SQL92_REVOKE, 0x7da0),
    integer(SQL_SQL92_ROW_VALUE_CONSTRUCTOR, 15),
    integer(SQL_SQL92_STRING_FUNCTIONS, 239),
    integer(SQL_SQL92_VALUE_EXPRESSIONS, 15),
    integer(SQL_STANDARD_CLI_CONFORMANCE, 0),
    integer(SQL_STATIC_CURSOR_ATTRIBUTES1, 0x124f),
    integer(SQL_STATIC_CURSOR_ATTRIBUTES2, 0x10001),
    integer(SQL_AGGREGATE_FUNCTIONS, 127),
    integer(SQL_DDL_INDEX, 0),
    integer(SQL_INSERT_STATEMENT, 7),
    text(SQL_XOPEN_CLI_YEAR, "1994"),
    integer(SQL_CURSOR_SENSITIVITY, 0),
    text(SQL_DESCRIBE_PARAMETER, "Y"),
    text(SQL_CATALOG_NAME, "Y"),
    text(SQL_COLLATION_SEQ, "ISO 8859-1"),
    small(SQL_MAX_IDENTIFIER_LEN, 64),
    integer(SQL_ASYNC_MODE, SQL_AM_CONNECTION),
    integer(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, 0),
    integer(65003, 127),  // driver-specific type some clients probe
};

constexpr bool ascending(const InfoAnswer* answers, size_t count) {
  for (size_t i = 1; i < count; ++i)
    if (answers[i - 1].type >= answers[i].type) return false;
  return true;
}
static_assert(ascending(kAnswers, std::size(kAnswers)), "answers must be sorted by type");

constexpr OfferedFunction kFunctions[] = {
    {SQL_API_SQLALLOCCONNECT, "SQLAllocConnect"},
    {SQL_API_SQLALLOCENV, "SQLAllocEnv"},
    {SQL_API_SQLALLOCSTMT, "SQLAllocStmt"},
    {SQL_API_SQLBINDCOL, "SQLBindCol"},
    {SQL_API_SQLCANCEL, "SQLCancel"},
    {SQL_API_SQLCOLATTRIBUTE, "SQLColAttribute"},
    {SQL_API_SQLCONNECT, "SQLConnect"},
    {SQL_API_SQLDESCRIBECOL, "SQLDescribeCol"},
    {SQL_API_SQLDISCONNECT, "SQLDisconnect"},
    {SQL_API_SQLERROR, "SQLError"},
    {SQL_API_SQLEXECDIRECT, "SQLExecDirect"},
    {SQL_API_SQLEXECUTE, "SQLExecute"},
    {SQL_API_SQLFETCH, "SQLFetch"},
    {SQL_API_SQLFREECONNECT, "SQLFreeConnect"},
    {SQL_API_SQLFREEENV, "SQLFreeEnv"},
    {SQL_API_SQLFREESTMT, "SQLFreeStmt"},
    {SQL_API_SQLGETCURSORNAME, "SQLGetCursorName"},
    {SQL_API_SQLNUMRESULTCOLS, "SQLNumResultCols"},
    {SQL_API_SQLPREPARE, "SQLPrepare"},
    {SQL_API_SQLROWCOUNT, "SQLRowCount"},
    {SQL_API_SQLSETCURSORNAME, "SQLSetCursorName"},
    {SQL_API_SQLSETPARAM, "SQLSetParam"},
    {SQL_API_SQLBULKOPERATIONS, "SQLBulkOperations"},
    {SQL_API_SQLCOLUMNS, "SQLColumns"},
    {SQL_API_SQLDRIVERCONNECT, "SQLDriverConnect"},
    {SQL_API_SQLGETCONNECTOPTION, "SQLGetConnectOption"},
    {SQL_API_SQLGETDATA, "SQLGetData"},
    {SQL_API_SQLGETFUNCTIONS, "SQLGetFunctions"},
    {SQL_API_SQLGETINFO, "SQLGetInfo"},
    {SQL_API_SQLGETSTMTOPTION, "SQLGetStmtOption"},
    {SQL_API_SQLGETTYPEINFO, "SQLGetTypeInfo"},
    {SQL_API_SQLPARAMDATA, "SQLParamData"},
    {SQL_API_SQLPUTDATA, "SQLPutData"},
    {SQL_API_SQLSETCONNECTOPTION, "SQLSetConnectOption"},
    {SQL_API_SQLSETSTMTOPTION, "SQLSetStmtOption"},
    {SQL_API_SQLSPECIALCOLUMNS, "SQLSpecialColumns"},
    {SQL_API_SQLSTATISTICS, "SQLStatistics"},
    {SQL_API_SQLTABLES, "SQLTables"},
    {SQL_API_SQLDESCRIBEPARAM, "SQLDescribeParam"},
    {SQL_API_SQLEXTENDEDFETCH, "SQLExtendedFetch"},
    {SQL_API_SQLFOREIGNKEYS, "SQLForeignKeys"},
    {SQL_API_SQLMORERESULTS, "SQLMoreResults"},
    {SQL_API_SQLNATIVESQL, "SQLNativeSql"},
    {SQL_API_SQLNUMPARAMS, "SQLNumParams"},
    {SQL_API_SQLPARAMOPTIONS, "SQLParamOptions"},
    {SQL_API_SQLPRIMARYKEYS, "SQLPrimaryKeys"},
    {SQL_API_SQLPROCEDURECOLUMNS, "SQLProcedureColumns"},
    {SQL_API_SQLPROCEDURES, "SQLProcedures"},
    {SQL_API_SQLSETPOS, "SQLSetPos"},
    {SQL_API_SQLSETSCROLLOPTIONS, "SQLSetScrollOptions"},
    {SQL_API_SQLBINDPARAMETER, "SQLBindParameter"},
    {SQL_API_SQLALLOCHANDLESTD, "SQLAllocHandleStd"},
    {SQL_API_SQLALLOCHANDLE, "SQLAllocHandle"},
    {SQL_API_SQLBINDPARAM, "SQLBindParam"},
    {SQL_API_SQLCLOSECURSOR, "SQLCloseCursor"},
    {SQL_API_SQLCOPYDESC, "SQLCopyDesc"},
    {SQL_API_SQLENDTRAN, "SQLEndTran"},
    {SQL_API_SQLFREEHANDLE, "SQLFreeHandle"},
    {SQL_API_SQLGETCONNECTATTR, "SQLGetConnectAttr"},
    {SQL_API_SQLGETDESCFIELD, "SQLGetDescField"},
    {SQL_API_SQLGETDESCREC, "SQLGetDescRec"},
    {SQL_API_SQLGETDIAGFIELD, "SQLGetDiagField"},
    {SQL_API_SQLGETDIAGREC, "SQLGetDiagRec"},
    {SQL_API_SQLGETENVATTR, "SQLGetEnvAttr"},
    {SQL_API_SQLGETSTMTATTR, "SQLGetStmtAttr"},
    {SQL_API_SQLSETCONNECTATTR, "SQLSetConnectAttr"},
    {SQL_API_SQLSETDESCFIELD, "SQLSetDescField"},
    {SQL_API_SQLSETDESCREC, "SQLSetDescRec"},
    {SQL_API_SQLSETENVATTR, "SQLSetEnvAttr"},
    {SQL_API_SQLSETSTMTATTR, "SQLSetStmtAttr"},
    {SQL_API_SQLFETCHSCROLL, "SQLFetchScroll"},
};
static_assert(std::size(kFunctions) == 71);

}  // namespace

const InfoAnswer* find_info_answer(SQLUSMALLINT type) {
  for (const InfoAnswer& answer : kAnswers) {
    if (answer.type == type) return &answer;
    if (answer.type > type) break;
  }
  return nullptr;
}

const InfoAnswer* info_answers(size_t* count) {
  *count = std::size(kAnswers);
  return kAnswers;
}

const OfferedFunction* offered_functions(size_t* count) {
  *count = std::size(kFunctions);
  return kFunctions;
}
