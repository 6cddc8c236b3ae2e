// The recently opened documents ("RecentItems" default): newest first, each a file and the
// bottle it was opened in, if one was named.
//
// A file is remembered by a bookmark: its path together with the device and inode it had. A
// bookmark resolves when its path still names that file. When it does not (the file was renamed
// or moved), the file is looked for by device and inode in its folder, that folder's subfolders,
// the parent folder and the parent's subfolders; found there, the bookmark is stale but
// resolves, and is refreshed with the new path. A file replaced at the same path (editors save
// by writing a new file over the old name) also resolves, stale, to that path.
#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

namespace larkhost {

class HostDefaults;

struct Bookmark {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;  // 0: unknown (an entry from before bookmarks): the path alone counts
};

// A bookmark of an existing file that is not a folder; none otherwise.
std::optional<Bookmark> MakeBookmark(const std::string& path);

struct ResolvedBookmark {
    std::string path;
    bool stale = false;   // the file was found elsewhere, or replaced: make a fresh bookmark
};
std::optional<ResolvedBookmark> ResolveBookmark(const Bookmark& bookmark);

struct RecentItem {
    std::string path;  // the bookmark's path
    std::optional<std::string> bottle;
    dev_t device = 0;
    ino_t inode = 0;
    Bookmark AsBookmark() const { return {path, device, inode}; }
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
    // The menu's items; stale bookmarks are refreshed and the stored list is tidied on the way
    // (see the .cpp). Empty: only a disabled "Clear" item is shown.
    std::vector<RecentMenuItem> Rebuild();
    // The path to run for a chosen item; none when its file can no longer be found.
    static std::optional<std::string> Resolve(const RecentItem& item);
    void Clear();

  private:
    void Store(const std::vector<RecentItem>& items);
    size_t Limit() const;
    HostDefaults& m_defaults;
};

}  // namespace larkhost
