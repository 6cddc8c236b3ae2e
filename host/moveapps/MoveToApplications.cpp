#include "MoveToApplications.h"

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "HostCommands.h"
#include "HostDefaults.h"
#include "LogMessage.h"

namespace larkhost {
namespace {

namespace fs = std::filesystem;
constexpr const char* kCategory = "HOST_MOVE";
constexpr const char* kSuppressKey = "moveToApplicationsFolderAlertSuppress";

std::string Resolved(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(path, ec);
    return ec ? path : p.string();
}

bool IEquals(const std::string& a, const std::string& b) {
    return g_ascii_strcasecmp(a.c_str(), b.c_str()) == 0;
}

// An application in a folder: an AppImage, or an executable file, or a folder holding bin/larkhost.
bool HoldsAnApplication(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() > 9 && IEquals(name.substr(name.size() - 9), ".AppImage")) return true;
        if (entry.is_regular_file(ec) && access(entry.path().c_str(), X_OK) == 0) return true;
        if (entry.is_directory(ec) && fs::exists(entry.path() / "bin", ec)) return true;
    }
    return false;
}

bool Writable(const std::string& path) { return access(path.c_str(), W_OK) == 0; }

// The mount point of the file system holding `path` when it is a loop-mounted image.
std::string LoopMountPoint(const std::string& path, const std::string& mountInfo) {
    std::ifstream in(mountInfo);
    std::string line, best, bestSource;
    std::string resolved = Resolved(path);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, root, mount;
        fields >> id >> parent >> devno >> root >> mount;
        std::string word;
        while (fields >> word && word != "-") {
        }
        std::string type, source;
        fields >> type >> source;
        if (PathWithin(resolved, mount) && mount.size() >= best.size()) {
            best = mount;
            bestSource = source;
        }
    }
    return bestSource.rfind("/dev/loop", 0) == 0 ? best : std::string();
}

bool SameFileSystem(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

}  // namespace

MoveEnvironment MoveEnvironment::Default() {
    MoveEnvironment env;
    env.userApplications = std::string(g_get_home_dir()) + "/Applications";
    env.systemApplications = "/opt/Applications";
    const char* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    env.downloads = downloads != nullptr ? downloads : std::string(g_get_home_dir()) + "/Downloads";
    env.runningExecutables = [] {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc", ec)) {
            std::string name = entry.path().filename().string();
            if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit) ||
                std::stoi(name) == getpid())
                continue;
            std::error_code e2;
            fs::path exe = fs::read_symlink(entry.path() / "exe", e2);
            if (!e2) out.push_back(exe.string());
        }
        return out;
    };
    return env;
}

bool PathWithin(const std::string& path, const std::string& folder) {
    fs::path p = Resolved(path), f = Resolved(folder);
    auto pi = p.begin();
    for (auto fi = f.begin(); fi != f.end(); ++fi, ++pi) {
        if (fi->empty()) continue;  // a trailing separator
        if (pi == p.end() || *pi != *fi) return false;
    }
    return true;
}

MovePlan PlanMove(const std::string& bundle, const HostDefaults& defaults,
                  const MoveEnvironment& env) {
    MovePlan plan;
    plan.bundle = bundle;
    if (defaults.GetBool(kSuppressKey, false)) return plan;
    if (PathWithin(bundle, env.userApplications) || PathWithin(bundle, env.systemApplications))
        return plan;
    for (const auto& part : fs::path(bundle))
        if (part == "Applications" || IEquals(part.string(), "SteamApps")) return plan;

    plan.mountPoint = LoopMountPoint(bundle, env.mountInfo);
    plan.fromDiskImage = !plan.mountPoint.empty();
    std::error_code ec;
    if (fs::is_directory(env.userApplications, ec) &&
        HoldsAnApplication(Resolved(env.userApplications))) {
        plan.destinationFolder = Resolved(env.userApplications);
        plan.question.title = "Move to Applications folder in your Home folder?";
    } else {
        plan.destinationFolder = Resolved(env.systemApplications);
        plan.question.title = "Move to Applications folder?";
    }
    plan.destination = (fs::path(plan.destinationFolder) / fs::path(bundle).filename()).string();
    auto writable = env.writable ? env.writable : Writable;
    plan.needsAdmin = !writable(plan.destinationFolder) ||
                      (fs::is_directory(plan.destination, ec) && !writable(plan.destination));
    plan.inDownloads = !env.downloads.empty() && PathWithin(bundle, env.downloads);
    plan.question.text = "I can move myself to the Applications folder if you'd like.";
    if (plan.needsAdmin)
        plan.question.text += " Note that this will require an administrator password.";
    else if (plan.inDownloads)
        plan.question.text += " This will keep your Downloads folder uncluttered.";
    plan.offer = true;
    return plan;
}

std::string RelaunchCommand(int pid, const std::string& destination) {
    // A folder starts through its bin/larkhost; a single file (an AppImage) is the program.
    std::string program =
        fs::is_directory(destination) ? destination + "/bin/larkhost" : destination;
    return "(while /bin/kill -0 " + std::to_string(pid) + " 2>/dev/null; do sleep 0.1; done; " +
           ShellQuote(program) + ") &";
}

MoveOutcome MoveToApplicationsIfWanted(const std::string& bundle, HostDefaults& defaults,
                                       const MoveEnvironment& env, MoveActions& actions, int pid) {
    const char* fn = "PFMoveApplication::moveToApplicationsFolderIfNecessary";
    MovePlan plan = PlanMove(bundle, defaults, env);
    if (!plan.offer) return MoveOutcome::NotOffered;
    MoveAnswer answer = actions.Ask(plan.question);
    if (answer.suppress) defaults.SetBool(kSuppressKey, true);
    if (!answer.move) return MoveOutcome::Declined;
    HY_LOG(LL_Status, kCategory, fn, "INFO -- Moving myself to the Applications folder");

    auto fail = [&] {
        actions.ShowFailure();
        return MoveOutcome::Failed;
    };
    bool copied = false;
    std::error_code ec;
    if (plan.needsAdmin) {
        if (plan.destination.empty() || plan.bundle.empty()) return fail();
        int rc = actions.RunPrivileged({"/bin/rm", "-rf", "--", plan.destination});
        if (rc == 126) {
            HY_LOG(LL_Status, kCategory, fn,
                   "INFO -- Not moving because user canceled authorization");
            return MoveOutcome::Failed;
        }
        if (rc == 0)
            rc = actions.RunPrivileged({"/bin/cp", "-a", "--", plan.bundle, plan.destination});
        if (rc != 0) {
            HY_LOG(LL_Error, kCategory, fn,
                   "ERROR -- Could not copy myself to /Applications with authorization");
            return fail();
        }
        copied = true;
    } else {
        if (fs::exists(fs::symlink_status(plan.destination, ec))) {
            for (const auto& exe :
                 env.runningExecutables ? env.runningExecutables() : std::vector<std::string>{})
                if (PathWithin(exe, plan.destination)) {
                    HY_LOG(LL_Status, kCategory, fn,
                           "INFO -- Switching to an already running version");
                    actions.StartShell("(" +
                                       ShellQuote(fs::is_directory(plan.destination)
                                                      ? plan.destination + "/bin/larkhost"
                                                      : plan.destination) +
                                       ") &");
                    return MoveOutcome::SwitchedToRunning;
                }
            if (!actions.Trash(plan.destination)) {
                HY_LOG(LL_Error, kCategory, fn, "ERROR -- Could not trash '%s'",
                       plan.destination.c_str());
                return fail();
            }
        }
        fs::create_directories(plan.destinationFolder, ec);
        bool moved = false;
        if (SameFileSystem(plan.bundle, plan.destinationFolder)) {
            fs::rename(plan.bundle, plan.destination, ec);
            moved = !ec;
            if (!moved)
                HY_LOG(LL_Warning, kCategory, fn, "WARNING -- Could not move '%s' to '%s' (%s)",
                       plan.bundle.c_str(), plan.destination.c_str(), ec.message().c_str());
        } else {
            HY_LOG(LL_Status, kCategory, fn,
                   "INFO -- Not moving '%s' to '%s' on different file system", plan.bundle.c_str(),
                   plan.destination.c_str());
        }
        if (!moved) {
            ec.clear();
            fs::copy(plan.bundle, plan.destination,
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
            if (ec) {
                HY_LOG(LL_Error, kCategory, fn, "ERROR -- Could not copy '%s' to '%s' (%d)",
                       plan.bundle.c_str(), plan.destination.c_str(), ec.value());
                HY_LOG(LL_Error, kCategory, fn, "ERROR -- Could not copy myself to %s",
                       plan.destination.c_str());
                std::error_code ignore;
                fs::remove_all(plan.destination, ignore);  // no half-written copy stays behind
                return fail();
            }
            copied = true;
        }
    }
    if (copied && !plan.fromDiskImage && !actions.Trash(plan.bundle))
        HY_LOG(LL_Warning, kCategory, fn,
               "WARNING -- Could not delete application after moving it to Applications folder");
    actions.StartShell(RelaunchCommand(pid, plan.destination));
    if (plan.fromDiskImage)
        actions.StartShell("(sleep 5 && umount " + ShellQuote(plan.mountPoint) + ") &");
    return MoveOutcome::Moved;
}

}  // namespace larkhost
