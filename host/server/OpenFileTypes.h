// The file types the Open panel offers for a bottle: Windows programs and setup files, plus the
// extensions that the bottle's Windows applications registered (read from the desktop-
// integration data the setup library keeps in the bottle).
#pragma once

#include <string>
#include <vector>

#include "HostSetup.h"

namespace larkhost {

// "%s/desktopdata/ptassoc/ptassoc_macosx.plist" with the bottle's Wine prefix.
std::string AssociationsPath(const BottleInfo& bottle);

// The extensions associated in `bottle`: for each top-level entry whose "Description" equals the
// bottle's name ignoring case, one per key of its "Extension Associations/" dictionary (the
// key's "Extension" value, else the key up to its first slash without its first character).
// A file that is not a property list is logged and gives none; so does a missing one.
std::vector<std::string> AssociatedExtensions(const BottleInfo& bottle);

// "exe", "inf", "ptarchive", "lnk", then the bottle's associated extensions.
std::vector<std::string> AllowedFileTypes(const BottleInfo& bottle);

// True for a folder, and for a file whose extension equals one of `types` ignoring case.
bool OpenPanelShows(const std::string& name, bool isFolder, const std::vector<std::string>& types);

}  // namespace larkhost
