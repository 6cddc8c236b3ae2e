// Test support for the host's logic: a recording UI, a main-loop pump, a fake installation root
// whose scripts record how they were started.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PTServer.h"

namespace larkhost::test {

class RecordingUi : public HostUi {
  public:
    void ShowAlert(const HostAlert& alert) override { alerts.push_back(alert); }
    void ShowSplash(bool show) override {
        if (show) ++splashShown;
        splashVisible = show;
    }
    bool ShowFirstRunSplash() override {
        ++firstRunShown;
        return true;
    }
    bool FirstRunSplashShowing() override { return firstRunShowing; }
    void CloseSplashes() override {
        ++splashesClosed;
        splashVisible = false;
        firstRunShowing = false;
    }
    void SetMenusEnabled(bool enabled) override { menusEnabled = enabled; }
    void Quit() override { ++quits; }

    std::vector<HostAlert> alerts;
    int splashShown = 0;
    bool splashVisible = false;
    int firstRunShown = 0;
    bool firstRunShowing = false;  // set by a test: the first-run splash is on screen
    int splashesClosed = 0;
    bool menusEnabled = false;
    int quits = 0;
};

// Runs the default main context until `done` holds; false when it never does (about 20 s).
bool PumpUntil(const std::function<bool()>& done);
// Runs whatever the main context has ready now.
void PumpPending();

// Writes an executable shell script.
void WriteScript(const std::string& path, const std::string& body);
std::string ReadFile(const std::string& path);

// Splits at spaces: a plain stand-in for the setup library's command-line splitter.
std::vector<std::string> SplitOnSpaces(const std::string& text);

}  // namespace larkhost::test
