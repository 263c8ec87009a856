// The fixed-layout record the driver hands to the setup library's
// dsn_complete_info and that the setup library fills back in.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t PROMPT_FIELD = 1024;

struct PromptRecord {
  char dsn[PROMPT_FIELD];             // offset 0: data source name (DSN)
  char proxy[PROMPT_FIELD];           // 1024: PROXY
  char proxy_user[PROMPT_FIELD];      // 2048: PROXY_USER
  char proxy_password[PROMPT_FIELD];  // 3072: PROXY_PASS
  char log_file[PROMPT_FIELD];        // 4096: LOGFILE
  int32_t logging;                    // 5120: LOGGING (0 off, 1 on)
  char uri[PROMPT_FIELD];             // 5124: URI
  char api_key[PROMPT_FIELD];         // 6148: API_KEY
};

static_assert(offsetof(PromptRecord, proxy) == 1024);
static_assert(offsetof(PromptRecord, logging) == 5120);
static_assert(offsetof(PromptRecord, uri) == 5124);
static_assert(offsetof(PromptRecord, api_key) == 6148);

// The setup library's prompt: 0 when the user accepted the dialog.
using DsnCompleteInfo = int (*)(void* connection, void* window, PromptRecord* record);
