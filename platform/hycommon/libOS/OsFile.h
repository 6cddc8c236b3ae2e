// Files and directories of the platform seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// <windows.h> turns some of these names into macros; the seam's functions keep their own names.
#undef DeleteFile
#undef RemoveDirectory
#undef GetCurrentDirectory
#undef SetCurrentDirectory

namespace HY_OS {

enum class FileMode {
    Read,           // existing file, reading
    ReadWrite,      // existing file, reading and writing
    CreateWrite,    // create or truncate, writing
    CreateAppend,   // create when missing, writing at the end
    OpenOrCreate,   // create when missing, reading and writing, keep content
};

// An open file. Moves, never copies; closes itself.
class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path`; on failure the result is not open and `error` (when given) holds errno.
    static File Open(const std::string& path, FileMode mode, int* error = nullptr);

    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }

    // Reads up to `size` bytes; answers the count (0 at the end) or -1.
    int64_t Read(void* data, size_t size);
    // Reads up to `size` bytes at `offset` without moving the file position.
    int64_t ReadAt(void* data, size_t size, int64_t offset);
    // Writes all bytes (retrying short writes); false on any failure.
    bool Write(const void* data, size_t size);
    bool WriteAt(const void* data, size_t size, int64_t offset);
    bool Seek(int64_t offset);
    int64_t Length() const;
    bool Truncate(int64_t length);
    bool Sync();
    void Close();

private:
    explicit File(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Length in bytes, -1 when the file cannot be examined.
int64_t FileLength(const std::string& path);
// Last write time in milliseconds since 1970, -1 when the file cannot be examined.
int64_t LastWriteTimeMs(const std::string& path);
bool SetLastWriteTimeMs(const std::string& path, int64_t ms);
// Deletes a file; true when it is gone (also when it was not there).
bool DeleteFile(const std::string& path);
// Renames, replacing any file of the new name.
bool RenameFile(const std::string& from, const std::string& to);
// Creates the directory and every missing parent; true when it exists afterwards.
bool CreateDirectories(const std::string& path);
bool RemoveDirectory(const std::string& path);
// Free bytes for the caller on the volume holding `path`; -1 when unknown. Goes through the
// system-call seam so tests can simulate a full disk.
int64_t GetFreeDiskSpace(const std::string& path);

// Whole-file helpers.
bool ReadWholeFile(const std::string& path, std::string& out);
// Writes a temporary file beside `path`, syncs it and renames it over `path`, so readers see the
// old content or the new, never a mix.
bool WriteFileAtomic(const std::string& path, const std::string& data);

std::string GetCurrentDirectory();
bool SetCurrentDirectory(const std::string& path);

// The part after the last '/' or '\'.
std::string FileNamePart(const std::string& path);
// Everything before the last '/' or '\' (empty when there is none).
std::string DirectoryPart(const std::string& path);
// Joins two path pieces with one '/'.
std::string JoinPath(const std::string& a, const std::string& b);

// The calling thread's last system error after a failed file or directory call: errno on POSIX
// systems, the system's error number on Windows (what File::Open reports too).
int LastSystemError();
// What a system error means to a writer: no room (disk or memory), a file another program holds,
// or anything else.
enum SystemErrorKind { SEK_Other = 0, SEK_NoSpace = 1, SEK_SharingViolation = 2 };
SystemErrorKind KindOfSystemError(int error);

}  // namespace HY_OS
