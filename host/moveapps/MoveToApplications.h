// Offers to move a portable copy of the host (an AppImage file or an installation folder) from
// wherever it was started (Downloads, a loop-mounted image) into an Applications folder, then
// starts the moved copy. The user's answer can be made permanent.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace larkhost {

class HostDefaults;

// Where the check looks; the real values come from the user's folders and the system.
struct MoveEnvironment {
    std::string userApplications;    // ~/Applications
    std::string systemApplications;  // /opt/Applications
    std::string downloads;           // the user's download folder
    std::string mountInfo = "/proc/self/mountinfo";
    // Executables of the running processes (other than this one).
    std::function<std::vector<std::string>()> runningExecutables;
    // Whether this user may write into a folder; access(2) when not given.
    std::function<bool(const std::string&)> writable;
    static MoveEnvironment Default();
};

struct MoveQuestion {
    std::string title;
    std::string text;
    std::string moveButton = "Move to Applications Folder";
    std::string stayButton = "Do Not Move";
    std::string suppressLabel = "Do not show this message again";
};

struct MoveAnswer {
    bool move = false;
    bool suppress = false;
};

// The steps that touch the world: asking, privileged commands, trashing, starting programs.
class MoveActions {
  public:
    virtual ~MoveActions() = default;
    virtual MoveAnswer Ask(const MoveQuestion& question) = 0;
    virtual void ShowFailure() = 0;  // "Could not move to Applications folder"
    // Runs argv with administrator rights and waits: 0 success, 126 when the user cancelled.
    virtual int RunPrivileged(const std::vector<std::string>& argv) = 0;
    virtual bool Trash(const std::string& path) = 0;
    // Starts a shell command in the background (the relaunch).
    virtual void StartShell(const std::string& command) = 0;
};

enum class MoveOutcome {
    NotOffered,         // suppressed, or already in place
    Declined,           // the user chose not to move
    Moved,              // moved or copied; the new copy starts once this process has ended
    SwitchedToRunning,  // a copy at the destination runs already: it was brought up instead
    Failed,             // the failure alert was shown; the host goes on from where it is
};

struct MovePlan {
    bool offer = false;
    std::string bundle;
    std::string destinationFolder;
    std::string destination;
    bool fromDiskImage = false;
    std::string mountPoint;
    bool needsAdmin = false;
    bool inDownloads = false;
    MoveQuestion question;
};

// True when `path` lies within `folder` (after resolving links of both).
bool PathWithin(const std::string& path, const std::string& folder);

// Works out whether and where to offer the move, without touching anything.
MovePlan PlanMove(const std::string& bundle, const HostDefaults& defaults,
                  const MoveEnvironment& env);

// The whole check: plan, ask, move or copy, trash the old copy, relaunch. `pid` is this process's.
MoveOutcome MoveToApplicationsIfWanted(const std::string& bundle, HostDefaults& defaults,
                                       const MoveEnvironment& env, MoveActions& actions, int pid);

// The command that starts the copy at `destination` once process `pid` has ended.
std::string RelaunchCommand(int pid, const std::string& destination);

}  // namespace larkhost
