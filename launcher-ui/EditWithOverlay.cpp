#include "EditWithOverlay.h"

#include "TextConvert.h"

namespace LarkUi {

EditWithOverlay::EditWithOverlay(GtkWidget* entry, bool password)
    : m_entry(entry), m_password(password) {
    gtk_entry_set_invisible_char(GTK_ENTRY(m_entry), '*');
    gtk_entry_set_visibility(GTK_ENTRY(m_entry), !m_password);
    g_signal_connect(m_entry, "focus-in-event", G_CALLBACK(&EditWithOverlay::OnFocusIn), this);
    g_signal_connect(m_entry, "focus-out-event", G_CALLBACK(&EditWithOverlay::OnFocusOut), this);
    g_signal_connect(m_entry, "insert-text", G_CALLBACK(&EditWithOverlay::OnInsertText), this);
}

void EditWithOverlay::Write(const std::string& utf8) {
    m_writing = true;
    gtk_entry_set_text(GTK_ENTRY(m_entry), utf8.c_str());
    m_writing = false;
}

void EditWithOverlay::ShowCue() {
    m_cueShown = true;
    // The password character is switched off so that the cue can be read.
    gtk_entry_set_visibility(GTK_ENTRY(m_entry), TRUE);
    Write(Utf16ToUtf8(m_cue));
}

void EditWithOverlay::ClearForTyping() {
    m_cueShown = false;
    Write("");
    gtk_entry_set_visibility(GTK_ENTRY(m_entry), !m_password);
    gtk_editable_set_position(GTK_EDITABLE(m_entry), 0);
}

void EditWithOverlay::SetCue(const std::u16string& cue) {
    bool wasShown = m_cueShown;
    m_cue = cue;
    if (wasShown ||
        (gtk_entry_get_text_length(GTK_ENTRY(m_entry)) == 0 && !gtk_widget_has_focus(m_entry)))
        ShowCue();
}

std::u16string EditWithOverlay::Text() const {
    if (m_cueShown) return {};
    std::u16string text = Utf8ToUtf16(gtk_entry_get_text(GTK_ENTRY(m_entry)));
    std::erase(text, u' ');
    return text;
}

void EditWithOverlay::SetText(const std::u16string& text) {
    if (!m_cue.empty() && text == m_cue) return;
    if (text.empty()) {
        if (gtk_widget_has_focus(m_entry)) {
            ClearForTyping();
        } else {
            ShowCue();
        }
        return;
    }
    m_cueShown = false;
    gtk_entry_set_visibility(GTK_ENTRY(m_entry), !m_password);
    Write(Utf16ToUtf8(text));
}

gboolean EditWithOverlay::OnFocusIn(GtkWidget*, GdkEvent*, gpointer self) {
    auto* edit = static_cast<EditWithOverlay*>(self);
    if (edit->m_cueShown) edit->ClearForTyping();
    return FALSE;
}

gboolean EditWithOverlay::OnFocusOut(GtkWidget*, GdkEvent*, gpointer self) {
    auto* edit = static_cast<EditWithOverlay*>(self);
    if (!edit->m_cueShown && gtk_entry_get_text_length(GTK_ENTRY(edit->m_entry)) == 0)
        edit->ShowCue();
    return FALSE;
}

void EditWithOverlay::OnInsertText(GtkEditable* editable, const gchar* text, gint length,
                                   gint* position, gpointer self) {
    auto* edit = static_cast<EditWithOverlay*>(self);
    if (edit->m_writing) return;
    std::string inserted = length < 0 ? std::string(text) : std::string(text, length);
    if (inserted.find(' ') == std::string::npos) return;
    // Spaces never reach the field: the rest of the text is inserted in their place.
    std::erase(inserted, ' ');
    g_signal_handlers_block_by_func(
        editable, reinterpret_cast<gpointer>(&EditWithOverlay::OnInsertText), self);
    if (!inserted.empty())
        gtk_editable_insert_text(editable, inserted.c_str(), static_cast<gint>(inserted.size()),
                                 position);
    g_signal_handlers_unblock_by_func(
        editable, reinterpret_cast<gpointer>(&EditWithOverlay::OnInsertText), self);
    g_signal_stop_emission_by_name(editable, "insert-text");
}

}  // namespace LarkUi
