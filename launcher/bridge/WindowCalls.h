// The window library's exports that the window bridge calls once the window runs, as descriptors
// for the launcher's binding (the start-up's own three are declared with the binding itself).
#pragma once

#include "WindowLibrary.h"

namespace WindowExports {
constexpr WindowExport kGotoPage{"IFnGotoPage", WindowExportSymbols::kGotoPage};
constexpr WindowExport kGetUserNameAndPassword{"IFnGetUserNameAndPassword",
                                               WindowExportSymbols::kGetUserNameAndPassword};
constexpr WindowExport kShowLoginControls{"IFnShowLoginControls", WindowExportSymbols::kShowLoginControls};
constexpr WindowExport kShowProgressControls{"IFnShowProgressControls",
                                             WindowExportSymbols::kShowProgressControls};
constexpr WindowExport kReportFileProgress{"IFnReportFileProgress", WindowExportSymbols::kReportFileProgress};
constexpr WindowExport kReportTotalProgress{"IFnReportTotalProgress", WindowExportSymbols::kReportTotalProgress};
constexpr WindowExport kConnectToLogin{"IFnConnectToLogin", WindowExportSymbols::kConnectToLogin};
constexpr WindowExport kPatchingPatchClient{"IFnPatchingPatchClient", WindowExportSymbols::kPatchingPatchClient};
constexpr WindowExport kLaunchingNewPatchClient{"IFnLaunchingNewPatchClient",
                                                WindowExportSymbols::kLaunchingNewPatchClient};
constexpr WindowExport kLaunchingGameClient{"IFnLaunchingGameClient", WindowExportSymbols::kLaunchingGameClient};
constexpr WindowExport kReadyToPlay{"IFnReadyToPlay", WindowExportSymbols::kReadyToPlay};
constexpr WindowExport kHideWindow{"IFnHideWindow", WindowExportSymbols::kHideWindow};
constexpr WindowExport kPostQuitMessage{"IFnPostQuitMessage", WindowExportSymbols::kPostQuitMessage};
constexpr WindowExport kHomeButtonFocus{"IFnHomeButtonFocus", WindowExportSymbols::kHomeButtonFocus};
constexpr WindowExport kSetTickWaitSource{"IFnSetTickWaitSource", WindowExportSymbols::kSetTickWaitSource};
}  // namespace WindowExports

// Calls the export IFn<Name> through the binding; "<Name>" is the step the failure message names.
// A missing library or export is reported by the binding's message box and the call is skipped.
#define BRIDGE_WINDOW_CALL(library, Name, ...) \
    (library).GuardedCall<decltype(IFn##Name)>(#Name, WindowExports::k##Name __VA_OPT__(, ) __VA_ARGS__)
