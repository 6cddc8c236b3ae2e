// The recently opened documents ("RecentItems" default): newest first, each a file and the
// bottle it was opened in, if one was named. Here a file is remembered by its path; an entry
// whose file no longer exists keeps its place but gets no menu item.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace larkhost {

class HostDefaults;

struct RecentItem {
    std::string path;
    std::optional<std::string> bottle;
};

struct RecentMenuItem {
    std::string title;  // the file's display name
    RecentItem item;
};

class RecentItems {
  public:
    explicit RecentItems(HostDefaults& defaults) : m_defaults(defaults) {}

    std::vector<RecentItem> Load() const;
    // Adds a document queued to run: only an existing file that is not a folder. The older
    // entry for the same file and bottle goes; the list keeps "RecentItemsCount" entries.
    void Add(const std::string& path, const std::optional<std::string>& bottle);
    // The menu's items; the stored list is tidied on the way (see the .cpp). Empty: only a
    // disabled "Clear" item is shown.
    std::vector<RecentMenuItem> Rebuild();
    void Clear();

  private:
    void Store(const std::vector<RecentItem>& items);
    size_t Limit() const;
    HostDefaults& m_defaults;
};

}  // namespace larkhost
