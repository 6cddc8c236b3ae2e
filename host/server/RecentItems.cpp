#include "RecentItems.h"

#include <sys/stat.h>
#include <filesystem>

#include "HostDefaults.h"

namespace larkhost {
namespace {

constexpr const char* kKey = "RecentItems";

// "N\n<path>" without a bottle, "B<bottle>\n<path>" with one.
std::string Encode(const RecentItem& item) {
    return (item.bottle ? "B" + *item.bottle : std::string("N")) + "\n" + item.path;
}

std::optional<RecentItem> Decode(const std::string& text) {
    size_t split = text.find('\n');
    if (split == std::string::npos || split == 0) return std::nullopt;
    RecentItem item;
    item.path = text.substr(split + 1);
    if (text[0] == 'B') item.bottle = text.substr(1, split - 1);
    return item;
}

bool Resolves(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

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

void RecentItems::Add(const std::string& path, const std::optional<std::string>& bottle) {
    if (!Resolves(path)) return;
    auto items = Load();
    for (auto it = items.begin(); it != items.end(); ++it)
        if (it->bottle == bottle && SameFile(it->path, path)) {
            items.erase(it);
            break;
        }
    items.insert(items.begin(), RecentItem{path, bottle});
    if (items.size() > Limit()) items.resize(Limit());
    Store(items);
}

std::vector<RecentMenuItem> RecentItems::Rebuild() {
    auto items = Load();
    std::vector<RecentMenuItem> menu;
    std::vector<RecentItem> kept;
    for (const auto& item : items) {
        bool resolves = Resolves(item.path);
        if (resolves && menu.size() >= Limit()) continue;  // the menu is full: dropped
        if (resolves) menu.push_back({std::filesystem::path(item.path).filename().string(), item});
        kept.push_back(item);  // an entry that does not resolve keeps its place
    }
    // Too long: the last unresolved entries go first, then everything past the limit.
    while (kept.size() > Limit()) {
        auto last = kept.end();
        for (auto it = kept.begin(); it != kept.end(); ++it)
            if (!Resolves(it->path)) last = it;
        if (last == kept.end()) {
            kept.resize(Limit());
            break;
        }
        kept.erase(last);
    }
    Store(kept);
    return menu;
}

void RecentItems::Clear() { m_defaults.Remove(kKey); }

}  // namespace larkhost
