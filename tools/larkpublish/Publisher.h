// Publishes a game build into a patch repository (Repository.h): stores every file of the
// manifest by its content, writes the gzip copies and WAD headers the launcher fetches, writes the
// latest file list in both table-file forms and, last, repository.txt naming it. Files come
// before the lists that name them and the lists before repository.txt, each written under a
// temporary name and renamed, so an interrupted publish leaves the repository as it was.
//
// Publishing the same build again changes nothing. Without an explicit version the list gets the
// current version when its content is unchanged, otherwise the next free number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PublishManifest.h"

namespace larkpublish {

struct PublishOptions {
    std::string buildFolder;
    std::string manifestPath;
    std::string repository;
    // Where the message modules are; the binary list form needs "BaseMessages". Empty: they are
    // already loaded.
    std::string dataFolder;
    std::optional<uint32_t> version;
    std::vector<std::string> locales{"English"};
    uint32_t listType = 1;
    std::string listName = "LatestFileList";
};

// One record of the file list, as published.
struct PublishedFile {
    std::string package;
    std::string srcFileName;  // the stored path below the repository
    std::string tarFileName;  // the install path
    PublishFileType fileType = PFT_Plain;
    uint32_t size = 0;
    uint32_t crc = 0;
    uint32_t headerSize = 0;
    uint32_t compressedHeaderSize = 0;
    uint32_t headerCrc = 0;
};

struct PublishResult {
    uint32_t version = 0;
    bool listWritten = false;  // false: the repository already held this list
    size_t filesStored = 0;    // files (and their gzip or header copies) written now
    size_t filesReused = 0;    // files already stored by an earlier publish
    std::vector<PublishedFile> files;
    std::vector<std::string> notes;  // e.g. optional packages left out
};

bool Publish(const PublishOptions& options, PublishResult& result, std::string& error);

// Loads the message modules the binary list form needs, from `dataFolder`.
bool LoadListMessageModules(const std::string& dataFolder, std::string& error);

}  // namespace larkpublish
