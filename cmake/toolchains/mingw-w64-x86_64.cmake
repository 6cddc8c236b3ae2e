# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads flavour, which
# std::thread and std::mutex need). Libraries come from the MinGW sysroot (zlib) and from the
# prefix that scripts/deps-windows fills (TinyXML-2, Nettle, GoogleTest, cpp-httplib's header).
# Test programs run through scripts/wine-run, which keeps a Wine prefix in the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

get_filename_component(HY_SOURCE_TOP "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(HY_WINDOWS_DEPS "${HY_SOURCE_TOP}/build/windows-deps/prefix" CACHE PATH
    "Cross-built libraries for the Windows build")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${HY_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the cross-built libraries, never the Linux ones.
set(ENV{PKG_CONFIG_LIBDIR} "${HY_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Programs, the window library and loadable modules carry their C and C++ run-times, so Wine needs no MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows 7 and later: the interfaces used (getaddrinfo, GetTickCount64, condition variables).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)

set(CMAKE_CROSSCOMPILING_EMULATOR "${HY_SOURCE_TOP}/scripts/wine-run")

# Static zlib, like everything else the programs carry.
set(ZLIB_USE_STATIC_LIBS ON)
