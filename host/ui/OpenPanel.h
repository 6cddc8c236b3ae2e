// The Open panel: a file chooser for one or more files (no folder creation) with a bottle
// chooser below it. Only folders and files of the chosen bottle's types are shown; the types are
// worked out again whenever another bottle is chosen. Confirming runs every chosen file in the
// chosen bottle.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "HostSetup.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkFileFilter GtkFileFilter;

namespace larkhost {

// The bottle chooser ("SelectBottleView"): the bottles sorted with the default first, then by
// display name ignoring case; the first is chosen at the start.
class SelectBottleController {
  public:
    explicit SelectBottleController(std::vector<BottleInfo> bottles);
    SelectBottleController(const SelectBottleController&) = delete;
    SelectBottleController& operator=(const SelectBottleController&) = delete;

    GtkWidget* View() const { return m_view; }
    GtkWidget* Chooser() const { return m_combo; }
    const std::vector<BottleInfo>& Bottles() const { return m_bottles; }
    // The chosen bottle; null when there are no bottles.
    const BottleInfo* Chosen() const;
    void Choose(size_t index);
    void OnChange(std::function<void()> changed) { m_changed = std::move(changed); }

  private:
    std::vector<BottleInfo> m_bottles;
    GtkWidget* m_view = nullptr;
    GtkWidget* m_combo = nullptr;
    std::function<void()> m_changed;
};

class OpenPanel {
  public:
    using RunClient = std::function<void(const std::string& path, const std::string& bottle)>;

    OpenPanel(std::vector<BottleInfo> bottles, RunClient run);
    ~OpenPanel();
    OpenPanel(const OpenPanel&) = delete;
    OpenPanel& operator=(const OpenPanel&) = delete;

    // Shows the panel; it closes itself on an answer (`closed` runs then).
    void Show(std::function<void()> closed = {});
    GtkWidget* Dialog() const { return m_dialog; }
    SelectBottleController& BottleChooser() { return m_bottles; }
    const std::vector<std::string>& AllowedTypes() const { return m_types; }
    // Whether the panel's current filter shows a file or folder of that name.
    bool Shows(const std::string& name, bool isFolder) const;

  private:
    void UpdateFilter();
    void Answered(int response);

    SelectBottleController m_bottles;
    RunClient m_run;
    std::vector<std::string> m_types;
    GtkWidget* m_dialog = nullptr;
    std::function<void()> m_closed;
};

}  // namespace larkhost
