#include "PublishCommand.h"

#include <cstdlib>
#include <ostream>

#include "Publisher.h"
#include "Repository.h"

namespace larkpublish {

namespace {

constexpr const char* kHelp =
    R"(usage: larkpublish --build DIR --manifest FILE --repository DIR --data DIR
                   [--version N] [--locale NAME]... [--list-type 1|2] [--list-name NAME]

Publishes the game build in --build into the patch repository --repository, which
"larkserver patch" serves. --data is the folder of the message modules (Root.wad or
the loose .xml files): the binary list form needs "BaseMessages".

The manifest says which files form which package:

  # comments start with '#'
  package <name> required|optional
  <type> <path> [<target>]

Each file line belongs to the package line above it. <path> is relative to the build
folder ('/' between folders); a path ending in '/' takes every file below that folder.
<target> is the install path below the game folder (default: <path>). Types:

  plain        fetched whole                                   (FileType 0)
  wad          WAD archive, changed elements fetched by range  (FileType 3)
  gzip         fetched as <path>.gz and inflated                (FileType 4)
  dynamic-wad  WAD archive, changed elements left empty        (FileType 5)

A WAD type needs a WAD archive named *.wad that follows the layout rule (larkwad
packs such archives). An optional package with none of its files in the build is
left out of the list; a missing file is an error otherwise.

Example manifest:

  package PatchClient required
  plain  LarkLauncher
  gzip   libLarkLauncherUI.so
  package Base required
  wad    Data/Root.wad
  gzip   Bin/                      # every file below Bin/
  plain  Readme.txt Docs/Readme.txt
  package Extras optional
  dynamic-wad Data/Extras.wad

The repository (see repository.txt in it):

  repository.txt                     version, list name and type, locales, packages
  lists/<version>/<list>.xml, .bin   the latest file list in both forms
  files/<crc>-<size>/<path>          every file stored once by its content, with
                                     <path>.gz and <path>.hdr.gz beside it as needed

Files are stored by content, so a new build stores only what changed. Publishing the
same build again changes nothing. Without --version the list keeps the current
version when nothing changed and takes the next free number otherwise; --version
refuses a number already published with another list. --locale (repeatable, default
English) names the locales the patch server serves; --list-type picks the form it
announces (default 1, XML); --list-name names the list file (default LatestFileList).
)";

bool ParseNumber(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long long number = std::strtoull(text.c_str(), nullptr, 10);
    if (number > UINT32_MAX) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

}  // namespace

int RunLarkPublish(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    PublishOptions options;
    bool localesGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            out << kHelp;
            return 0;
        }
        if (i + 1 >= args.size()) {
            err << "larkpublish: " << name << " needs a value (see --help)\n";
            return 2;
        }
        const std::string& value = args[++i];
        uint32_t number = 0;
        if (name == "--build") {
            options.buildFolder = value;
        } else if (name == "--manifest") {
            options.manifestPath = value;
        } else if (name == "--repository") {
            options.repository = value;
        } else if (name == "--data") {
            options.dataFolder = value;
        } else if (name == "--version" && ParseNumber(value, number)) {
            options.version = number;
        } else if (name == "--locale") {
            if (!localesGiven) options.locales.clear();
            localesGiven = true;
            options.locales.push_back(value);
        } else if (name == "--list-type" && ParseNumber(value, number)) {
            options.listType = number;
        } else if (name == "--list-name") {
            options.listName = value;
        } else {
            err << "larkpublish: unexpected argument '" << name << " " << value
                << "' (see --help)\n";
            return 2;
        }
    }
    if (options.buildFolder.empty() || options.manifestPath.empty() || options.repository.empty() ||
        options.dataFolder.empty()) {
        err << "larkpublish: --build, --manifest, --repository and --data are needed (see "
               "--help)\n";
        return 2;
    }
    PublishResult result;
    std::string error;
    if (!Publish(options, result, error)) {
        err << "larkpublish: " << error << "\n";
        return 1;
    }
    for (const std::string& note : result.notes) out << "larkpublish: " << note << "\n";
    for (const PublishedFile& file : result.files)
        out << "  " << file.package << "  " << file.tarFileName << "  "
            << FileTypeName(file.fileType) << "  " << file.size << " bytes  -> " << file.srcFileName
            << "\n";
    out << "larkpublish: version " << result.version
        << (result.listWritten ? " published" : " already published, nothing changed") << ": "
        << result.files.size() << " files, " << result.filesStored << " stored now, "
        << result.filesReused << " already stored\n";
    return 0;
}

}  // namespace larkpublish
