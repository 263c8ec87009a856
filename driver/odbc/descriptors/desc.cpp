// Descriptor records: creation for statements and applications, reset to no
// records, and release.
#include <mutex>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"

QuillDesc* make_desc(QuillDbc* dbc, QuillStmt* stmt, int32_t kind, bool implicit) {
  MemPool* parent = stmt ? stmt->pool : dbc->pool;
  auto* desc = static_cast<QuillDesc*>(newNode(sizeof(QuillDesc), TAG_DESC, parent));
  MemPool* pool = desc ? quill_mem_alloc_handle(parent) : nullptr;
  MemPool* records = pool ? quill_mem_alloc_handle(pool) : nullptr;
  ErrorHeader* errors = records ? CreateErrorHeader(pool, desc) : nullptr;
  if (!errors) {
    quill_mem_release_handle(pool);
    quill_mem_free(parent, desc);
    return nullptr;
  }
  desc->pool = pool;
  desc->dbc = dbc;
  desc->stmt = stmt;
  desc->errors = errors;
  desc->kind = kind;
  desc->implicit = implicit;
  desc->alloc_type = implicit ? SQL_DESC_ALLOC_AUTO : SQL_DESC_ALLOC_USER;
  desc->records_pool = records;
  desc->array_size = 1;
  return desc;
}

bool reset_desc(QuillDesc* desc) {
  MemPool* fresh = quill_mem_alloc_handle(desc->pool);
  if (!fresh) return false;
  quill_mem_release_handle(desc->records_pool);
  desc->records_pool = fresh;
  desc->records = nullptr;
  desc->count = 0;
  return true;
}

void release_desc(QuillDesc* desc) {
  if (!desc) return;
  MemPool* parent = desc->stmt ? desc->stmt->pool : desc->dbc->pool;
  FreeErrorHeader(desc->errors);
  desc->tag = 0;
  quill_mem_release_handle(desc->pool);
  quill_mem_free(parent, desc);
}

SQLRETURN alloc_desc(QuillDbc* dbc, SQLHANDLE* out) {
  if (!out) return post_call_error(dbc->errors, "HY009", MSG_NULL_POINTER);
  *out = SQL_NULL_HANDLE;
  QuillDesc* desc = make_desc(dbc, nullptr, DESC_APD, false);
  if (!desc) return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  *out = desc;
  return SQL_SUCCESS;
}

SQLRETURN free_desc(QuillDesc* desc) {
  if (desc->implicit) return post_call_error(desc->errors, "HY017", MSG_AUTO_DESC);
  std::lock_guard<std::mutex> guard(desc->dbc->gate->members);
  // A statement using the descriptor in a call of another thread keeps it.
  for (QuillStmt* s = desc->dbc->statements; s; s = s->next)
    if ((s->ard == desc || s->apd == desc) && s->gate->users.load() > 0)
      return post_call_error(desc->errors, "HY010", MSG_SEQUENCE);
  // Statements using this descriptor go back to their own implicit ones.
  for (QuillStmt* s = desc->dbc->statements; s; s = s->next) {
    if (s->ard == desc) s->ard = s->implicit_ard;
    if (s->apd == desc) s->apd = s->implicit_apd;
  }
  release_desc(desc);
  return SQL_SUCCESS;
}
