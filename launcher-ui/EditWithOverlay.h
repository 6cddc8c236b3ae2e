// An entry field with a cue text: while it is empty and has no keyboard focus, its text is the cue
// itself (shown readable in the password field too). Reading it then yields an empty string.
// Typed spaces are removed at once.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace LarkUi {

class EditWithOverlay {
  public:
    EditWithOverlay(GtkWidget* entry, bool password);
    EditWithOverlay(const EditWithOverlay&) = delete;
    EditWithOverlay& operator=(const EditWithOverlay&) = delete;

    GtkWidget* Widget() const { return m_entry; }

    // Sets the cue and shows it when the field is empty and unfocused.
    void SetCue(const std::u16string& cue);
    // The text without spaces; empty while the cue is shown.
    std::u16string Text() const;
    // An empty text shows the cue (or clears the field while it has the focus); a text equal to
    // the cue leaves the field unchanged.
    void SetText(const std::u16string& text);
    bool CueShown() const { return m_cueShown; }

  private:
    static gboolean OnFocusIn(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean OnFocusOut(GtkWidget*, GdkEvent*, gpointer self);
    static void OnInsertText(GtkEditable*, const gchar* text, gint length, gint* position,
                             gpointer self);
    void ShowCue();
    void ClearForTyping();
    void Write(const std::string& utf8);

    GtkWidget* m_entry;
    bool m_password;
    std::u16string m_cue;
    bool m_cueShown = false;
    bool m_writing = false;
};

}  // namespace LarkUi
