// <windows.h> turns some names of the seam's functions into macros (DeleteFile -> DeleteFileA).
// Including this header after it takes them back, so HY_OS::DeleteFile and the others keep their
// own names (OsFile.h does the same for itself). No include guard: every inclusion undoes the
// macros again.
#undef DeleteFile
#undef RemoveDirectory
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#undef CopyFile
