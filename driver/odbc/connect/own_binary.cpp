// Finds the binary holding the driver's code (dladdr on one of its own functions) and asks
// that binary, not the process at large, which entry points it exports: the Driver Manager
// defines functions of the same names, so a process-wide lookup would answer for it.
#include "driver/odbc/connect/own_binary.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr const char kDefaultFileName[] = "libquilldrv.so";

// A function of the driver whose address identifies the binary it was loaded from.
__attribute__((noinline)) void own_marker() {}

struct OwnBinary {
  bool found = false;          // dladdr located the binary
  bool main_program = false;   // the driver is linked into the program itself
  const char* path = nullptr;  // as the loader knows it
  const void* base = nullptr;  // load address, to tell its symbols from others
};

OwnBinary locate_own_binary() {
  OwnBinary own;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&own_marker), &info) == 0 || !info.dli_fname) return own;
  own.found = true;
  own.path = info.dli_fname;
  own.base = info.dli_fbase;
  Dl_info program{};
  auto* program_headers = reinterpret_cast<void*>(getauxval(AT_PHDR));
  own.main_program =
      program_headers && dladdr(program_headers, &program) != 0 && program.dli_fbase == own.base;
  return own;
}

// True when `symbol` lies in the binary loaded at `base`.
bool defined_in(void* symbol, const void* base) {
  Dl_info info{};
  return symbol && dladdr(symbol, &info) != 0 && info.dli_fbase == base;
}

bool read_at(int fd, void* out, size_t size, off_t offset) {
  auto* bytes = static_cast<char*>(out);
  while (size > 0) {
    ssize_t n = pread(fd, bytes, size, offset);
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

// A program linked without exporting its symbols dynamically keeps them only in its static
// symbol table: marks the names found there as defined, global, default-visibility functions.
void mark_static_symbols(const char* const* names, size_t count, bool* exported) {
  int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ElfW(Ehdr) header{};
  std::vector<ElfW(Shdr)> sections;
  std::vector<ElfW(Sym)> symbols;
  std::vector<char> strings;
  bool ok = read_at(fd, &header, sizeof header, 0) &&
            std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
            header.e_shentsize == sizeof(ElfW(Shdr)) && header.e_shnum > 0;
  if (ok) {
    sections.resize(header.e_shnum);
    ok = read_at(fd, sections.data(), sections.size() * sizeof(ElfW(Shdr)),
                 static_cast<off_t>(header.e_shoff));
  }
  for (size_t s = 0; ok && s < sections.size(); ++s) {
    const ElfW(Shdr)& table = sections[s];
    if (table.sh_type != SHT_SYMTAB || table.sh_link >= sections.size()) continue;
    const ElfW(Shdr)& names_section = sections[table.sh_link];
    symbols.resize(table.sh_size / sizeof(ElfW(Sym)));
    strings.resize(names_section.sh_size + 1, '\0');
    if (!read_at(fd, symbols.data(), symbols.size() * sizeof(ElfW(Sym)),
                 static_cast<off_t>(table.sh_offset)) ||
        !read_at(fd, strings.data(), names_section.sh_size,
                 static_cast<off_t>(names_section.sh_offset)))
      break;
    strings.back() = '\0';
    for (const ElfW(Sym) & symbol : symbols) {
      int binding = ELF64_ST_BIND(symbol.st_info);
      if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_shndx == SHN_UNDEF ||
          (binding != STB_GLOBAL && binding != STB_WEAK) ||
          ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT || symbol.st_name >= strings.size())
        continue;
      const char* name = strings.data() + symbol.st_name;
      if (std::strncmp(name, "SQL", 3) != 0) continue;
      for (size_t i = 0; i < count; ++i)
        if (std::strcmp(name, names[i]) == 0) exported[i] = true;
    }
  }
  close(fd);
}

}  // namespace

const char* driver_file_name() {
  static std::once_flag once;
  static char name[256] = {0};
  std::call_once(once, [] {
    std::strncpy(name, kDefaultFileName, sizeof name - 1);
    OwnBinary own = locate_own_binary();
    if (!own.found || own.main_program) return;
    const char* slash = std::strrchr(own.path, '/');
    const char* base = slash ? slash + 1 : own.path;
    if (*base && std::strlen(base) < sizeof name) std::strncpy(name, base, sizeof name - 1);
  });
  return name;
}

void probe_own_exports(const char* const* names, size_t count, bool* exported) {
  for (size_t i = 0; i < count; ++i) exported[i] = false;
  OwnBinary own = locate_own_binary();
  if (!own.found) return;
  // RTLD_NOLOAD only finds the library already mapped; it never loads a second copy.
  void* handle =
      own.main_program ? dlopen(nullptr, RTLD_LAZY) : dlopen(own.path, RTLD_LAZY | RTLD_NOLOAD);
  if (handle) {
    for (size_t i = 0; i < count; ++i) exported[i] = defined_in(dlsym(handle, names[i]), own.base);
    dlclose(handle);
  }
  if (own.main_program) {
    try {
      mark_static_symbols(names, count, exported);
    } catch (...) {
      // Out of memory while reading the symbol table: report what the loader knew.
    }
  }
}
