#include "UserNameStore.h"

#include "TextConvert.h"
#include "UserRegistryStore.h"

namespace LarkUi {

namespace {

constexpr const char* kUserNameValue = "UserName";
constexpr const char* kCannotCreate =
    "User name registry entry could not be created.The user may not be having administrative "
    "privileges";

}  // namespace

std::u16string UserNameStore::Load() {
    UserRegistryStore store(UserRegistryStore::DefaultPath());
    int code = store.OpenKey(m_key);
    if (code == 0) {
        std::string name;
        std::u16string remembered =
            store.ReadString(m_key, kUserNameValue, name) ? Utf8ToUtf16(name) : u"";
        if (remembered.size() > kUserNameMax) remembered.resize(kUserNameMax);
        return remembered;
    }
    m_commands.LogToLauncher("Error", "Error in trying to access the user name registry. Code: %#lx",
                             static_cast<unsigned long>(code));
    if (code == 2) {
        if (!store.WriteString(m_key, kUserNameValue, ""))
            m_commands.LogToLauncher("Error", "%s", kCannotCreate);
    } else {
        m_commands.LogToLauncher("Error",
                                 "User Name registry entries could not be accessed.The user may "
                                 "not be having administrative privileges");
    }
    return u"";
}

void UserNameStore::Save(const std::u16string& name) {
    UserRegistryStore store(UserRegistryStore::DefaultPath());
    if (store.OpenKey(m_key) == 5 || !store.WriteString(m_key, kUserNameValue, Utf16ToUtf8(name)))
        m_commands.LogToLauncher("Error", "%s", kCannotCreate);
}

}  // namespace LarkUi
