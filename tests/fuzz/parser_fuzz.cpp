// libFuzzer target: arbitrary bytes as SQL text. The parser must accept or
// refuse every input with a message, never crash, hang or leak; every tree it accepts is
// printed back as SQL text, whose generator walks the whole tree.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/sql/parser.h"
#include "driver/sql/sqlgen.h"
#include "support/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ParseContext* context = parse_context_create(pool);
  if (context) {
    if (sql_parse(context, text.data()) != 0) {
      if (std::strlen(parse_message(context)) == 0) __builtin_trap();  // a refusal says why
    } else if (ListNode* statements = parse_statements(context)) {
      sql_statement_list_text_length(statements);
    }
    parse_context_free(context);
  }
  quill_mem_release_handle(pool);
  return 0;
}
