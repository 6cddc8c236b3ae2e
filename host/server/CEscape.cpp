#include "CEscape.h"

#include <glib.h>

std::string CEscape(const std::string& text) {
    gchar* escaped = g_strescape(text.c_str(), nullptr);
    std::string out = escaped;
    g_free(escaped);
    return out;
}

std::string CUnescape(const std::string& text) {
    gchar* plain = g_strcompress(text.c_str());
    std::string out = plain;
    g_free(plain);
    return out;
}
