#include "RecentItems.h"

#include "CEscape.h"

#include <glib.h>
#include <sys/stat.h>
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "HostDefaults.h"

namespace larkhost {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKey = "RecentItems";
// The search for a moved file looks at this many folder entries at most, so that a bookmark of a
// file in a crowded place (the home folder's parent, say) cannot stall the menu.
constexpr size_t kSearchBudget = 20000;

// Stored as "b<escaped bottle>\n<device>:<inode>\n<path>", or "n\n<device>:<inode>\n<path>"
// without a bottle. Entries written before bookmarks ("B<bottle>\n<path>", "N\n<path>") are read
// with an unknown inode.
std::string Encode(const RecentItem& item) {
    char ids[64];
    std::snprintf(ids, sizeof(ids), "%" PRIuMAX ":%" PRIuMAX, static_cast<uintmax_t>(item.device),
                  static_cast<uintmax_t>(item.inode));
    return (item.bottle ? "b" + CEscape(*item.bottle) : std::string("n")) + "\n" + ids + "\n" +
           item.path;
}

std::optional<RecentItem> Decode(const std::string& text) {
    size_t split = text.find('\n');
    if (split == std::string::npos || split == 0) return std::nullopt;
    RecentItem item;
    char kind = text[0];
    if (kind == 'B' || kind == 'N') {
        item.path = text.substr(split + 1);
        if (kind == 'B') item.bottle = text.substr(1, split - 1);
    } else if (kind == 'b' || kind == 'n') {
        size_t second = text.find('\n', split + 1);
        if (second == std::string::npos) return std::nullopt;
        uintmax_t device = 0, inode = 0;
        if (std::sscanf(text.substr(split + 1, second - split - 1).c_str(),
                        "%" SCNuMAX ":%" SCNuMAX, &device, &inode) != 2)
            return std::nullopt;
        item.device = static_cast<dev_t>(device);
        item.inode = static_cast<ino_t>(inode);
        item.path = text.substr(second + 1);
        if (kind == 'b') item.bottle = CUnescape(text.substr(1, split - 1));
    } else {
        return std::nullopt;
    }
    if (item.path.empty() || item.path[0] != '/') return std::nullopt;
    return item;
}

bool IsFile(const struct stat& st) { return !S_ISDIR(st.st_mode); }

bool Matches(const struct stat& st, const Bookmark& bookmark) {
    return IsFile(st) && st.st_dev == bookmark.device && st.st_ino == bookmark.inode;
}

// Looks for the bookmark's file among the entries of `folder` (not following links).
std::optional<std::string> FindIn(const fs::path& folder, const Bookmark& bookmark,
                                  std::vector<fs::path>* subfolders, size_t& budget) {
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (budget == 0) break;
        --budget;
        struct stat st {};
        if (lstat(it->path().c_str(), &st) != 0) continue;
        if (Matches(st, bookmark)) return it->path().string();
        if (subfolders != nullptr && S_ISDIR(st.st_mode)) subfolders->push_back(it->path());
    }
    return std::nullopt;
}

}  // namespace

std::optional<Bookmark> MakeBookmark(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !IsFile(st)) return std::nullopt;
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) return std::nullopt;
    return Bookmark{absolute.lexically_normal().string(), st.st_dev, st.st_ino};
}

std::optional<ResolvedBookmark> ResolveBookmark(const Bookmark& bookmark) {
    struct stat st {};
    bool atPath = stat(bookmark.path.c_str(), &st) == 0 && IsFile(st);
    if (bookmark.inode == 0)
        return atPath ? std::optional<ResolvedBookmark>({bookmark.path, true}) : std::nullopt;
    if (atPath && st.st_dev == bookmark.device && st.st_ino == bookmark.inode)
        return ResolvedBookmark{bookmark.path, false};
    // Renamed or moved nearby: its folder, the parent, and their subfolders, nearest first.
    fs::path folder = fs::path(bookmark.path).parent_path();
    size_t budget = kSearchBudget;
    for (const fs::path& base : {folder, folder.parent_path()}) {
        std::vector<fs::path> subfolders;
        if (auto found = FindIn(base, bookmark, &subfolders, budget))
            return ResolvedBookmark{*found, true};
        for (const auto& sub : subfolders)
            if (auto found = FindIn(sub, bookmark, nullptr, budget))
                return ResolvedBookmark{*found, true};
        if (base == base.parent_path()) break;  // the root has no parent
    }
    if (atPath) return ResolvedBookmark{bookmark.path, true};  // replaced at the same path
    return std::nullopt;
}

size_t RecentItems::Limit() const {
    long count = m_defaults.GetInt("RecentItemsCount", 10);
    return count > 0 ? static_cast<size_t>(count) : 0;
}

std::vector<RecentItem> RecentItems::Load() const {
    std::vector<RecentItem> items;
    for (const auto& text : m_defaults.GetList(kKey))
        if (auto item = Decode(text)) items.push_back(*item);
    return items;
}

void RecentItems::Store(const std::vector<RecentItem>& items) {
    std::vector<std::string> texts;
    for (const auto& item : items) texts.push_back(Encode(item));
    m_defaults.SetList(kKey, texts);
}

std::optional<std::string> RecentItems::Resolve(const RecentItem& item) {
    auto resolved = ResolveBookmark(item.AsBookmark());
    if (!resolved) return std::nullopt;
    return resolved->path;
}

void RecentItems::Add(const std::string& path, const std::optional<std::string>& bottle) {
    auto bookmark = MakeBookmark(path);
    if (!bookmark) return;
    auto items = Load();
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (it->bottle != bottle) continue;
        auto resolved = ResolveBookmark(it->AsBookmark());
        auto same = resolved ? MakeBookmark(resolved->path) : std::nullopt;
        if (same && same->device == bookmark->device && same->inode == bookmark->inode) {
            items.erase(it);
            break;
        }
    }
    items.insert(items.begin(), RecentItem{bookmark->path, bottle, bookmark->device,
                                           bookmark->inode});
    if (items.size() > Limit()) items.resize(Limit());
    Store(items);
}

std::vector<RecentMenuItem> RecentItems::Rebuild() {
    auto items = Load();
    std::vector<RecentMenuItem> menu;
    std::vector<RecentItem> kept;
    std::vector<bool> resolvedFlags;
    for (auto item : items) {
        auto resolved = ResolveBookmark(item.AsBookmark());
        if (resolved && resolved->stale) {
            if (auto fresh = MakeBookmark(resolved->path)) {
                item.path = fresh->path;
                item.device = fresh->device;
                item.inode = fresh->inode;
            }
        }
        if (resolved && menu.size() >= Limit()) continue;  // the menu is full: dropped
        if (resolved) {
            gchar* name = g_filename_display_basename(item.path.c_str());
            menu.push_back({name, item});
            g_free(name);
        }
        kept.push_back(item);  // an entry that does not resolve keeps its place
        resolvedFlags.push_back(resolved.has_value());
    }
    // Too long: the last unresolved entries go first, then everything past the limit.
    while (kept.size() > Limit()) {
        size_t last = kept.size();
        for (size_t i = 0; i < kept.size(); ++i)
            if (!resolvedFlags[i]) last = i;
        if (last == kept.size()) {
            kept.resize(Limit());
            break;
        }
        kept.erase(kept.begin() + static_cast<long>(last));
        resolvedFlags.erase(resolvedFlags.begin() + static_cast<long>(last));
    }
    Store(kept);
    return menu;
}

void RecentItems::Clear() { m_defaults.Remove(kKey); }

}  // namespace larkhost
