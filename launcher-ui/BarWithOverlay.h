// A progress bar (range 0 to 100) with an overlay text drawn over it in a chosen colour, on one
// line, 5 pixels from the left edge and centred vertically.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace LarkUi {

class BarWithOverlay {
  public:
    explicit BarWithOverlay(GtkWidget* bar);
    BarWithOverlay(const BarWithOverlay&) = delete;
    BarWithOverlay& operator=(const BarWithOverlay&) = delete;

    GtkWidget* Widget() const { return m_bar; }
    // Sets the overlay text and redraws the bar at once.
    void SetOverlay(const std::u16string& text);
    const std::u16string& Overlay() const { return m_overlay; }
    void SetTextColour(unsigned char red, unsigned char green, unsigned char blue);
    // Percent values above 100 show a full bar.
    void SetPosition(unsigned percent);
    unsigned Position() const { return m_position; }

  private:
    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);

    GtkWidget* m_bar;
    std::u16string m_overlay;
    unsigned char m_colour[3] = {0, 0, 0};
    unsigned m_position = 0;
};

}  // namespace LarkUi
