// The move-to-Applications steps on this desktop: a GTK question with a suppression check box,
// pkexec for administrator rights, the freedesktop trash, and /bin/sh for the relaunch.
#pragma once

#include <memory>

#include "MoveToApplications.h"

namespace larkhost {

std::unique_ptr<MoveActions> MakeDesktopMoveActions();

}  // namespace larkhost
