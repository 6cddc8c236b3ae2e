// Dynamic libraries of the platform seam, loaded by their platform-neutral name.
#pragma once

#include <string>

namespace HY_OS {

using LibraryHandle = void*;

// The platform's file name for a library name: "Sigil" -> "libSigil.so" here.
std::string LibraryFileName(const std::string& name);

// Loads a library by name (the platform's file name, found the platform's usual way); a name
// holding '/' or '.' is taken as a file name or path as it stands. Answers nullptr on failure;
// LibraryError() then says why.
LibraryHandle LoadLibraryByName(const std::string& name);
void* GetLibrarySymbol(LibraryHandle library, const std::string& symbol);
void FreeLibrary(LibraryHandle library);
std::string LibraryError();

}  // namespace HY_OS
