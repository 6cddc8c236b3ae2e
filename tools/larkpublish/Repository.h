// A patch repository as larkpublish writes it and larkserver serves it:
//
//   <repository>/repository.txt                 what the patch server announces (below)
//   <repository>/lists/<version>/<list>.xml     the latest file list, XML form (list type 1)
//   <repository>/lists/<version>/<list>.bin     the same list, binary form (list type 2)
//   <repository>/files/<crc>-<size>/<path>      each published file, stored by its content:
//                                               <crc> is its CRC in 8 hex digits, <size> its length
//   .../<path>.gz                               the gzip copy of a gzip-type file
//   .../<path>.hdr.gz                           the compressed header of a WAD archive
//
// A file list's `SrcFileName` is the stored path ("files/<crc>-<size>/<path>") and its
// `TarFileName` the install path, so an unchanged file keeps its stored copy from one build to
// the next and nothing is stored twice. Earlier lists stay, so a launcher in the middle of an
// older update still finds its files.
//
// repository.txt holds one setting per line, "<key> <value>", and "#" comments:
//
//   version 3                  the version of the list the patch server announces
//   list-name LatestFileList   the list's file name without extension
//   list-type 1                1: the XML form is announced, 2: the binary form
//   locales English German     the locales served; any other is answered with "ERROR1"
//   package Base required      one line per package, in manifest order
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace larkpublish {

inline constexpr const char* kRepositoryFile = "repository.txt";
inline constexpr const char* kDefaultListName = "LatestFileList";

struct RepositoryPackage {
    std::string name;
    bool required = true;
};

struct RepositoryInfo {
    uint32_t version = 0;
    std::string listName = kDefaultListName;
    uint32_t listType = 1;
    std::vector<std::string> locales;
    std::vector<RepositoryPackage> packages;

    bool ServesLocale(const std::string& locale) const;
    // "LatestFileList.xml" or ".bin", by the list type (or the given type).
    std::string ListFileName() const { return ListFileName(listType); }
    std::string ListFileName(uint32_t type) const;
    // The list's path below the repository: "lists/<version>/<file name>".
    std::string ListPath(uint32_t type) const;
    std::string ListPath() const { return ListPath(listType); }
};

std::string RenderRepositoryInfo(const RepositoryInfo& info);
bool ParseRepositoryInfo(const std::string& text, RepositoryInfo& info, std::string& error);
// Reads "<repository>/repository.txt".
bool LoadRepositoryInfo(const std::string& repository, RepositoryInfo& info, std::string& error);

// The stored path of a file: "files/<crc>-<size>/<path>".
std::string StoredPath(uint32_t crc, uint32_t size, const std::string& path);

}  // namespace larkpublish
