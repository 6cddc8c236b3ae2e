#include "OsLibrary.h"

#include <dlfcn.h>

#include <mutex>

namespace HY_OS {

namespace {
std::mutex g_errorLock;
std::string g_lastError;

void RememberError() {
    const char* text = dlerror();
    std::lock_guard<std::mutex> hold(g_errorLock);
    g_lastError = text ? text : "unknown error";
}
}  // namespace

std::string LibraryFileName(const std::string& name) { return "lib" + name + ".so"; }

LibraryHandle LoadLibraryByName(const std::string& name) {
    std::string file = name.find_first_of("/.") == std::string::npos ? LibraryFileName(name) : name;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) RememberError();
    return handle;
}

void* GetLibrarySymbol(LibraryHandle library, const std::string& symbol) {
    if (library == nullptr) return nullptr;
    dlerror();
    void* address = dlsym(library, symbol.c_str());
    if (address == nullptr) RememberError();
    return address;
}

void FreeLibrary(LibraryHandle library) {
    if (library != nullptr) dlclose(library);
}

std::string LibraryError() {
    std::lock_guard<std::mutex> hold(g_errorLock);
    return g_lastError;
}

}  // namespace HY_OS
