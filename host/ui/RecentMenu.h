// The "Open Recent" menu: one item per remembered document whose file can still be found, then
// a separator and "Clear" (disabled when there is nothing to clear). Choosing an item runs the
// document in its bottle; one whose file has gone beeps and the menu is built anew.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "RecentItems.h"

typedef struct _GMenu GMenu;
typedef struct _GActionMap GActionMap;

namespace larkhost {

class RecentMenu {
  public:
    using RunClient = std::function<void(const std::string& path, const std::string& bottle)>;

    // Adds the actions "open-recent" (the item's index) and "clear-recent" to `actions`.
    RecentMenu(HostDefaults& defaults, GActionMap* actions, RunClient run,
               std::function<void()> beep);
    ~RecentMenu();
    RecentMenu(const RecentMenu&) = delete;
    RecentMenu& operator=(const RecentMenu&) = delete;

    GMenu* Menu() const { return m_menu; }
    void Rebuild();
    void Choose(size_t index);
    void Clear();
    const std::vector<RecentMenuItem>& Items() const { return m_items; }

  private:
    RecentItems m_recent;
    GActionMap* m_actions;
    RunClient m_run;
    std::function<void()> m_beep;
    GMenu* m_menu;
    std::vector<RecentMenuItem> m_items;
};

}  // namespace larkhost
