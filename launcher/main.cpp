// LarkLauncher: the launcher program. All of its work happens in the application object's
// start-up, which returns when the launcher window has closed (and, after a relaunch from the
// other bank, when that launcher has ended).
#include "PatchClientUI.h"

namespace {
CPatchClientUIApp theApp;
}

int main(int argc, char** argv) {
    theApp.InitInstance(argc, argv);
    return theApp.ExitCode();
}
