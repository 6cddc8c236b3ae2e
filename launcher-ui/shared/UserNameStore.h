// The remembered account name: the value "UserName" under the launcher's per-user key, read when
// the window opens and written when the player signs in and when the window closes. Failures are
// logged to the launcher through the command sink; the window then works on with an empty name.
#pragma once

#include <string>

#include "CommandSink.h"

namespace LarkUi {

class UserNameStore {
  public:
    // At most this many UTF-16 units are kept (250 with the terminator).
    static constexpr size_t kUserNameMax = 249;

    UserNameStore(std::string registryKey, CommandSink& commands)
        : m_key(std::move(registryKey)), m_commands(commands) {}

    // The remembered name (empty when there is none). A missing key is created with an empty
    // name; every failure is logged.
    std::u16string Load();
    // Stores `name` ("" forgets it); failures are logged.
    void Save(const std::u16string& name);

  private:
    std::string m_key;
    CommandSink& m_commands;
};

}  // namespace LarkUi
