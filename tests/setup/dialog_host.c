/* A plain C host of the setup dialog, as an ODBC administrator program is: it asks the
 * installer to add or configure a data source with a window, so the installer loads the
 * driver's setup library and its dialog, then returns from main normally. Usage:
 *   dialog_host add|config DRIVER_SECTION "KEY=VALUE;KEY=VALUE"
 * It prints "ConfigDSN: 1" or "ConfigDSN: 0" with the installer's first error. */
#include <odbcinst.h>
#include <stdio.h>
#include <string.h>

/* Turns "a=1;b=2" into the installer's list "a=1\0b=2\0\0" in `list` of `size` bytes. */
static void attribute_list(const char* text, char* list, size_t size) {
  size_t length = strlen(text);
  if (length + 2 > size) length = size - 2;
  memcpy(list, text, length);
  list[length] = '\0';
  list[length + 1] = '\0';
  for (size_t i = 0; i < length; ++i)
    if (list[i] == ';') list[i] = '\0';
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s add|config DRIVER_SECTION \"KEY=VALUE;...\"\n", argv[0]);
    return 2;
  }
  WORD request = strcmp(argv[1], "config") == 0 ? ODBC_CONFIG_DSN : ODBC_ADD_DSN;
  char list[4096];
  attribute_list(argv[3], list, sizeof list);
  /* Any non-null window: the installer then shows the dialog. */
  BOOL done = SQLConfigDataSource((HWND)1, request, argv[2], list);
  printf("ConfigDSN: %d\n", done ? 1 : 0);
  if (!done) {
    DWORD code = 0;
    char text[512] = "";
    WORD length = 0;
    SQLInstallerError(1, &code, text, sizeof text, &length);
    printf("installer error %u: %s\n", (unsigned)code, text);
  }
  fflush(stdout);
  return 0;
}
