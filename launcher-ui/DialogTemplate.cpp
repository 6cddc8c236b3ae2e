#include "DialogTemplate.h"

#include <pango/pangocairo.h>

namespace LarkUi {

namespace {

int MulDiv(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) /
                            denominator);
}

}  // namespace

DialogRect TemplateRect(ControlId id) {
    switch (id) {
        case IDC_USERNAME:
            return {62, 253, 75, 15};
        case IDC_PASSWORD:
            return {144, 253, 75, 15};
        case IDC_LOGIN:
            return {317, 253, 48, 15};
        case IDC_FILE_PROGRESS:
            return {62, 253, 120, 15};
        case IDC_TOTAL_PROGRESS:
            return {189, 253, 120, 15};
        case IDC_BROWSER:
            return {0, 0, 375, 243};
        case IDC_SETTINGS:
            return {7, 253, 48, 15};
        case IDC_LOADING:
            return {0, 0, 375, 248};
        case IDC_REMEMBER_LABEL:
            return {243, 256, 65, 10};
        case IDC_REMEMBER:
            return {230, 253, 9, 16};
    }
    return {0, 0, 0, 0};
}

DialogRect DialogUnits::ToPixels(const DialogRect& units) const {
    return {MulDiv(units.x, baseX, 4), MulDiv(units.y, baseY, 8), MulDiv(units.width, baseX, 4),
            MulDiv(units.height, baseY, 8)};
}

DialogUnits DialogUnits::ForFont(const std::string& face, int points) {
    DialogUnits units;
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontDescription* font = pango_font_description_from_string(face.c_str());
    // A dialog font of `points` is asked for with a height of points · 96 / 72 pixels.
    pango_font_description_set_absolute_size(font, MulDiv(points, 96, 72) * PANGO_SCALE);
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    PangoFontMetrics* metrics = pango_context_get_metrics(context, font, nullptr);
    int cellHeight = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) +
                                  pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    g_object_unref(layout);
    pango_font_description_free(font);
    g_object_unref(context);
    if (width > 0) units.baseX = (width / 26 + 1) / 2;
    if (cellHeight > 0) units.baseY = cellHeight;
    return units;
}

std::string ControlName(ControlId id) { return "ctl" + std::to_string(static_cast<int>(id)); }

}  // namespace LarkUi
