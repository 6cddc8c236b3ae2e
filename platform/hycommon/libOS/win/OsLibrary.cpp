#include "WinHandle.h"

#include <mutex>

#include "OsLibrary.h"

namespace HY_OS {

namespace {
std::mutex g_errorLock;
std::string g_lastError;

void RememberError(const std::string& what) {
    std::string text = what + ": " + win::ErrorText(GetLastError());
    std::lock_guard<std::mutex> hold(g_errorLock);
    g_lastError = text;
}
}  // namespace

std::string LibraryFileName(const std::string& name) { return name + ".dll"; }

LibraryHandle LoadLibraryByName(const std::string& name) {
    std::string file = name.find_first_of("/\\.") == std::string::npos ? LibraryFileName(name) : name;
    // No "cannot find the DLL" dialog: a missing library is reported to the caller.
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(file.c_str());
    SetErrorMode(previous);
    if (module == nullptr) RememberError(file);
    return reinterpret_cast<LibraryHandle>(module);
}

void* GetLibrarySymbol(LibraryHandle library, const std::string& symbol) {
    if (library == nullptr) return nullptr;
    FARPROC address = GetProcAddress(static_cast<HMODULE>(library), symbol.c_str());
    if (address == nullptr) RememberError(symbol);
    return reinterpret_cast<void*>(address);
}

void FreeLibrary(LibraryHandle library) {
    if (library != nullptr) ::FreeLibrary(static_cast<HMODULE>(library));
}

std::string LibraryError() {
    std::lock_guard<std::mutex> hold(g_errorLock);
    return g_lastError;
}

}  // namespace HY_OS
