#include "BarWithOverlay.h"

#include "TextConvert.h"

namespace LarkUi {

BarWithOverlay::BarWithOverlay(GtkWidget* bar) : m_bar(bar) {
    g_signal_connect_after(m_bar, "draw", G_CALLBACK(&BarWithOverlay::OnDraw), this);
}

void BarWithOverlay::SetOverlay(const std::u16string& text) {
    m_overlay = text;
    // Screen readers (and test hosts) read the overlay as the bar's description.
    atk_object_set_description(gtk_widget_get_accessible(m_bar), Utf16ToUtf8(text).c_str());
    gtk_widget_queue_draw(m_bar);
}

void BarWithOverlay::SetTextColour(unsigned char red, unsigned char green, unsigned char blue) {
    m_colour[0] = red;
    m_colour[1] = green;
    m_colour[2] = blue;
    gtk_widget_queue_draw(m_bar);
}

void BarWithOverlay::SetPosition(unsigned percent) {
    m_position = percent;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_bar), percent >= 100 ? 1.0 : percent / 100.0);
}

gboolean BarWithOverlay::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
    auto* bar = static_cast<BarWithOverlay*>(self);
    if (bar->m_overlay.empty()) return FALSE;
    PangoLayout* layout =
        gtk_widget_create_pango_layout(widget, Utf16ToUtf8(bar->m_overlay).c_str());
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    PangoFontMetrics* metrics = pango_context_get_metrics(
        gtk_widget_get_pango_context(widget),
        pango_context_get_font_description(gtk_widget_get_pango_context(widget)), nullptr);
    int charHeight =
        (pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics)) /
        PANGO_SCALE;
    pango_font_metrics_unref(metrics);
    int height = gtk_widget_get_allocated_height(widget);
    cairo_set_source_rgb(cr, bar->m_colour[0] / 255.0, bar->m_colour[1] / 255.0,
                         bar->m_colour[2] / 255.0);
    cairo_move_to(cr, 5, (height - charHeight) / 2);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return FALSE;
}

}  // namespace LarkUi
