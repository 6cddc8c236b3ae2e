// The window's fonts: the font files that ship beside the library, registered for this process
// only, and the faces the window asks for by name.
#pragma once

#include <string>

namespace LarkUi {

constexpr const char* kButtonFace = "Lark Fancy";  // the Login button
constexpr const char* kFieldFace = "Comic Neue";   // fields, bars and the check-box label

// The folder that holds the loaded library file.
std::string LibraryDirectory();

// Registers every font file of "<library folder>/fonts" with fontconfig for this process (once);
// answers the number of files registered.
int RegisterFontFiles();

}  // namespace LarkUi
