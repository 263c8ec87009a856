// Loads libquilldrv.so the way a Driver Manager does (dlopen, then the exported
// SQL* symbols by name) so tests call the driver with no Driver Manager between.
#pragma once

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <stdexcept>
#include <string>

struct DriverApi {
  void* library = nullptr;  // dlopen handle
  decltype(&::SQLAllocHandle) AllocHandle = nullptr;
  decltype(&::SQLAllocHandleStd) AllocHandleStd = nullptr;
  decltype(&::SQLAllocEnv) AllocEnv = nullptr;
  decltype(&::SQLAllocConnect) AllocConnect = nullptr;
  decltype(&::SQLAllocStmt) AllocStmt = nullptr;
  decltype(&::SQLFreeHandle) FreeHandle = nullptr;
  decltype(&::SQLFreeEnv) FreeEnv = nullptr;
  decltype(&::SQLFreeConnect) FreeConnect = nullptr;
  decltype(&::SQLFreeStmt) FreeStmt = nullptr;
  decltype(&::SQLGetDiagRec) GetDiagRec = nullptr;
  decltype(&::SQLGetDiagField) GetDiagField = nullptr;
  decltype(&::SQLGetDiagRecW) GetDiagRecW = nullptr;
  decltype(&::SQLGetDiagFieldW) GetDiagFieldW = nullptr;
  decltype(&::SQLError) Error = nullptr;
  decltype(&::SQLSetEnvAttr) SetEnvAttr = nullptr;
  decltype(&::SQLGetEnvAttr) GetEnvAttr = nullptr;
  decltype(&::SQLGetStmtAttr) GetStmtAttr = nullptr;

  // Opens the library at `path` and resolves every entry point; throws when one is missing.
  explicit DriverApi(const std::string& path) {
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(dlerror());
    resolve(AllocHandle, "SQLAllocHandle");
    resolve(AllocHandleStd, "SQLAllocHandleStd");
    resolve(AllocEnv, "SQLAllocEnv");
    resolve(AllocConnect, "SQLAllocConnect");
    resolve(AllocStmt, "SQLAllocStmt");
    resolve(FreeHandle, "SQLFreeHandle");
    resolve(FreeEnv, "SQLFreeEnv");
    resolve(FreeConnect, "SQLFreeConnect");
    resolve(FreeStmt, "SQLFreeStmt");
    resolve(GetDiagRec, "SQLGetDiagRec");
    resolve(GetDiagField, "SQLGetDiagField");
    resolve(GetDiagRecW, "SQLGetDiagRecW");
    resolve(GetDiagFieldW, "SQLGetDiagFieldW");
    resolve(Error, "SQLError");
    resolve(SetEnvAttr, "SQLSetEnvAttr");
    resolve(GetEnvAttr, "SQLGetEnvAttr");
    resolve(GetStmtAttr, "SQLGetStmtAttr");
  }
  // The library stays loaded, as a Driver Manager keeps it while it has handles: unloading
  // would also unload the ini cache of libodbcinst and hide where its memory came from.
  ~DriverApi() = default;
  DriverApi(const DriverApi&) = delete;
  DriverApi& operator=(const DriverApi&) = delete;

  // True when the library exports `name`.
  bool exports(const char* name) const { return dlsym(library, name) != nullptr; }

 private:
  template <typename F>
  void resolve(F& slot, const char* name) {
    slot = reinterpret_cast<F>(dlsym(library, name));
    if (!slot) throw std::runtime_error(std::string("missing export ") + name);
  }
};
