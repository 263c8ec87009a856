// What the driver says about itself: the answer to every information type SQLGetInfo
// knows, and the ODBC functions SQLGetFunctions may report, both as data tables.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>

// How the answer to an information type is formed.
enum class InfoKind {
  Small,           // a 16-bit number, `number`
  Integer,         // a 32-bit number or mask, `number`
  Text,            // the fixed text `text`
  ConnectionText,  // the value of the connection attribute named by `text` ("" when absent)
  DriverFileName,  // the file name of the binary holding the driver
  EchoHandle,      // a 32-bit number: the value the caller passed in, handed back unchanged
};

struct InfoAnswer {
  SQLUSMALLINT type;   // the SQL_* information type
  InfoKind kind;       // how the answer is formed
  SQLUINTEGER number;  // the answer of Small and Integer kinds, else 0
  const char* text;    // the text of Text, the attribute key of ConnectionText, else null
};

// The answer for `type`, or null when the driver does not know the type.
const InfoAnswer* find_info_answer(SQLUSMALLINT type);
// Every answer in ascending order of type; their number goes to `*count`.
const InfoAnswer* info_answers(size_t* count);

struct OfferedFunction {
  SQLUSMALLINT number;  // SQL_API_* number
  const char* name;     // the exported entry point that implements it
};

// The functions SQLGetFunctions may report, when the driver's binary exports them; the
// number of entries goes to `*count`.
const OfferedFunction* offered_functions(size_t* count);
