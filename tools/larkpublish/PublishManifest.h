// The package manifest larkpublish reads: which files of a game build form which package, whether
// the package is required, and how each file is fetched.
//
//   # A comment; blank lines are ignored.
//   package <name> required|optional
//   <type> <path> [<target>]
//
// Every file line belongs to the package line above it. <type> is one of
//   plain        fetched whole                                     (FileType 0)
//   wad          WAD archive updated element by element            (FileType 3)
//   gzip         fetched as "<path>.gz", inflated by the launcher  (FileType 4)
//   dynamic-wad  WAD archive whose changed elements stay empty     (FileType 5)
// <path> is relative to the build folder, with '/' between folders; a path ending in '/' stands
// for every regular file below that folder. <target> is where the file is installed below the
// game folder (by default <path>); for a folder it must be a folder too (ending in '/').
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace larkpublish {

enum PublishFileType : uint32_t {
    PFT_Plain = 0,
    PFT_Wad = 3,
    PFT_Gzip = 4,
    PFT_DynamicWad = 5,
};

// The manifest word of a type, and back; false for an unknown word.
const char* FileTypeName(PublishFileType type);
bool FileTypeFromName(const std::string& name, PublishFileType& type);

struct ManifestEntry {
    std::string path;    // in the build folder; ends in '/' for a folder
    std::string target;  // empty: the same as the path
    PublishFileType type = PFT_Plain;
    int line = 0;
};

struct ManifestPackage {
    std::string name;
    bool required = true;
    std::vector<ManifestEntry> entries;
    int line = 0;
};

struct Manifest {
    std::vector<ManifestPackage> packages;
};

// Parses the text of a manifest; on failure `error` names the line and what is wrong.
bool ParseManifest(const std::string& text, Manifest& manifest, std::string& error);
bool LoadManifest(const std::string& path, Manifest& manifest, std::string& error);

// A relative path the launcher can put in a URL and below its game folder: '/'-separated parts,
// none empty, "." or "..", no backslash, and only letters, digits and "._-+~@()".
bool IsPublishablePath(const std::string& path);
// A package name usable as a table name in both table-file forms.
bool IsPackageName(const std::string& name);

}  // namespace larkpublish
