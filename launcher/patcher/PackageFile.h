// One file of a package as the latest file list describes it, and the checks that keep a list
// from reaching outside the install directory: names must be relative, must not climb with "..",
// must not hold a NUL, and must not lead through a symbolic link inside the install directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "OsFileInfo.h"

class DMLRecord;

// How a file is fetched, from its list file type.
enum PackageFileType : uint32_t {
    PFT_WadUpdate = 3,
    PFT_Compressed = 4,
    PFT_DynamicWad = 5,
};

// The names are views into the loaded list, valid while it stays loaded.
struct PackageFile {
    std::string_view srcFileName;
    uint32_t fileType = 0;
    uint32_t size = 0;
    uint32_t crc = 0;
    uint32_t headerSize = 0;
    uint32_t compressedHeaderSize = 0;
    uint32_t headerCrc = 0;
    uint32_t nameHash = 0;  // CRC of SrcFileName's bytes

    // The relative target with forward slashes: TarFileName, or SrcFileName when empty.
    std::string_view Target() const { return m_normalisedTarget.empty() ? m_target : m_normalisedTarget; }

    std::string_view m_target;
    std::string m_normalisedTarget;  // only when the list's name holds backslashes
};

// Reads one record of a package table. False, with the reason in `problem`, when a field the
// patcher needs is missing or a name is unsafe.
bool ReadPackageFile(const DMLRecord& record, PackageFile& file, std::string& problem);

// True when `name` is a relative path that stays below its root: not empty, no NUL, no leading
// separator or drive, no "." or ".." component (backslashes count as separators).
bool IsContainedRelativePath(const std::string& name);

// The download type handed to the HTTP client for a list file type.
uint32_t DownloadTypeOf(uint32_t fileType);

// prefix + "/" + SrcFileName (+ ".gz" for compressed files) + suffix.
std::string FileUrl(const std::string& prefix, std::string_view srcFileName, uint32_t fileType,
                     const std::string& suffix);

// Finds symbolic links on the way from the install directory to a file. Directories are opened
// one component at a time without following links and kept open (up to kMaxOpenDirectories), so
// a file costs one examination of its own name.
class LinkGuard {
public:
    static constexpr size_t kMaxOpenDirectories = 128;

    explicit LinkGuard(const std::string& installDirectory);
    // False when a directory of `relative` below the root, or the file itself, is a symbolic
    // link. Whether the file exists as a regular file, and its size and time, come back too.
    bool PathIsSafe(std::string_view relative, bool& exists, int64_t& size, int64_t& lastWriteMs);

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    struct Directory {
        HY_OS::DirectoryHandle handle;  // not open when the directory does not exist yet
        bool link = false;              // a component on the way is a symbolic link
    };
    const Directory& Find(std::string_view directory);

    HY_OS::DirectoryHandle m_root;
    std::unordered_map<std::string, Directory, Hash, std::equal_to<>> m_directories;
    std::string m_name;  // scratch: one component, NUL-terminated
};
