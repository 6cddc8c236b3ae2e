// The bottle side of the host, answered by the setup library (embedded Python running the
// "ptutils" module): the bottle list, the default bottle, whether a bottle can run commands, and
// the per-bottle quit steps.
#pragma once

#include <string>
#include <vector>

namespace larkhost {

struct BottleInfo {
    std::string name;
    std::string displayName;
    bool isDefault = false;
    bool canRunCommands = false;
    std::string winePrefix;  // the bottle's Wine prefix ("wine_prefix")
};

// What the host needs of its bottles; the embedded Python implements it, tests fake it.
class BottleCollection {
  public:
    virtual ~BottleCollection() = default;
    virtual std::vector<BottleInfo> Bottles() = 0;
    virtual std::string DefaultBottle() = 0;
    // One quit step of a bottle: "pre_quit", "quit" or "post_quit"; true when the bottle agrees.
    virtual bool QuitStep(const std::string& bottle, const std::string& step, bool force) = 0;
    virtual void ForceQuit(const std::string& bottle) = 0;
};

// Bottles sorted for choosers: the default first, then by display name ignoring case.
std::vector<BottleInfo> SortedBottles(std::vector<BottleInfo> bottles);

class PythonSetup : public BottleCollection {
  public:
    // Starts the interpreter for `sharedSupport`/lib/python and imports "ptutils", giving it
    // PT_ROOT = `porticoRoot`. False with `error` set when the library cannot be loaded.
    bool Start(const std::string& sharedSupport, const std::string& porticoRoot,
               std::string& error);
    ~PythonSetup() override;

    std::vector<BottleInfo> Bottles() override;
    std::string DefaultBottle() override;
    bool QuitStep(const std::string& bottle, const std::string& step, bool force) override;
    void ForceQuit(const std::string& bottle) override;

    // Splits a command line the way the setup library does (shell-like words); empty for none.
    std::vector<std::string> SplitCommandLine(const std::string& command);

  private:
    void* m_module = nullptr;  // PyObject*
    bool m_started = false;
};

}  // namespace larkhost
