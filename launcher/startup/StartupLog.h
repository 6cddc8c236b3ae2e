// Logging of the launcher's start-up: every line is filed under the category "HYPatchClient" and
// names the start-up routine and its source file, wherever the step is implemented.
#pragma once

#include "LogMessage.h"

#define STARTUP_LOG(level, ...)                                                                 \
    do {                                                                                        \
        if (::HYLog::GetGlobalLevel() <= static_cast<int>(level)) {                             \
            char startupCategory_[kLogCategorySize];                                            \
            ::SetCategory(startupCategory_, "HYPatchClient");                                   \
            ::LogMessage(startupCategory_, LT_Application, static_cast<uint8_t>(level), 0, 0,   \
                         static_cast<uint16_t>(__LINE__), "CPatchClientUIApp::InitInstance",    \
                         "PatchClientUI.cpp", __VA_ARGS__);                                     \
        } else {                                                                                \
            ::HYLog::CountSkipped();                                                            \
        }                                                                                       \
    } while (0)
