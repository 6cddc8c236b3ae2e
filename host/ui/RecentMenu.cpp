#include "RecentMenu.h"

#include <gio/gio.h>

namespace larkhost {

RecentMenu::RecentMenu(HostDefaults& defaults, GActionMap* actions, RunClient run,
                       std::function<void()> beep)
    : m_recent(defaults),
      m_actions(actions),
      m_run(std::move(run)),
      m_beep(std::move(beep)),
      m_menu(g_menu_new()) {
    GSimpleAction* open = g_simple_action_new("open-recent", G_VARIANT_TYPE_INT32);
    g_signal_connect(open, "activate",
                     G_CALLBACK(+[](GSimpleAction*, GVariant* index, RecentMenu* self) {
                         self->Choose(static_cast<size_t>(g_variant_get_int32(index)));
                     }),
                     this);
    g_action_map_add_action(m_actions, G_ACTION(open));
    g_object_unref(open);
    GSimpleAction* clear = g_simple_action_new("clear-recent", nullptr);
    g_signal_connect(clear, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, RecentMenu* self) {
                         self->Clear();
                     }),
                     this);
    g_action_map_add_action(m_actions, G_ACTION(clear));
    g_object_unref(clear);
}

RecentMenu::~RecentMenu() {
    g_action_map_remove_action(m_actions, "open-recent");
    g_action_map_remove_action(m_actions, "clear-recent");
    g_object_unref(m_menu);
}

void RecentMenu::Rebuild() {
    g_menu_remove_all(m_menu);
    m_items = m_recent.Rebuild();
    for (size_t i = 0; i < m_items.size(); ++i) {
        GMenuItem* item = g_menu_item_new(m_items[i].title.c_str(), nullptr);
        g_menu_item_set_action_and_target_value(item, "app.open-recent",
                                                g_variant_new_int32(static_cast<int>(i)));
        g_menu_append_item(m_menu, item);
        g_object_unref(item);
    }
    GMenu* clear = g_menu_new();
    g_menu_append(clear, "Clear", "app.clear-recent");
    g_menu_append_section(m_menu, nullptr, G_MENU_MODEL(clear));
    g_object_unref(clear);
    GAction* clearAction = g_action_map_lookup_action(m_actions, "clear-recent");
    if (clearAction != nullptr)
        g_simple_action_set_enabled(G_SIMPLE_ACTION(clearAction), !m_items.empty());
}

void RecentMenu::Choose(size_t index) {
    auto path = index < m_items.size() ? RecentItems::Resolve(m_items[index].item) : std::nullopt;
    if (path) {
        m_run(*path, m_items[index].item.bottle.value_or(""));
        return;
    }
    if (m_beep) m_beep();
    Rebuild();
}

void RecentMenu::Clear() {
    m_recent.Clear();
    Rebuild();
}

}  // namespace larkhost
