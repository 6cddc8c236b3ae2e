// Dialog template 102: the window's size and its controls' places in dialog units, and their
// conversion to pixels as Windows makes it for the template's font ("Lark Fancy", 10 points).
#pragma once

#include <string>

namespace LarkUi {

enum ControlId : int {
    IDC_SETTINGS = 1011,
    IDC_LOGIN = 1012,
    IDC_USERNAME = 1014,
    IDC_PASSWORD = 1015,
    IDC_REMEMBER = 1016,
    IDC_FILE_PROGRESS = 1023,
    IDC_TOTAL_PROGRESS = 1025,
    IDC_REMEMBER_LABEL = 1033,
    IDC_BROWSER = 1036,
    IDC_LOADING = 1037,
};

struct DialogRect {
    int x, y, width, height;
};

constexpr DialogRect kDialogSize{0, 0, 375, 277};
constexpr int kTemplatePoints = 10;

// The template's place of a control in dialog units.
DialogRect TemplateRect(ControlId id);

// Dialog units to pixels: x · average character width / 4, y · character height / 8, rounded
// as Windows' MulDiv rounds.
struct DialogUnits {
    int baseX = 6;
    int baseY = 13;
    DialogRect ToPixels(const DialogRect& units) const;
    // The base units of `face` at `points` on a 96 dots-per-inch screen: the average width of
    // the 52 letters A–Z, a–z and the font's character height, as Windows measures a dialog font.
    static DialogUnits ForFont(const std::string& face, int points);
};

// The widget name a control carries ("ctl" and its id), by which styles and tests find it.
std::string ControlName(ControlId id);

}  // namespace LarkUi
