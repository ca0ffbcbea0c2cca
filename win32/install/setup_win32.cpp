#include "win32/install/setup_win32.h"

#include <aclapi.h>

#include <cstdio>
#include <vector>

#include "core/setup/setup_rules.h"
#include "platform/text.h"

namespace setup_win32 {


std::string format(const char* fmt, const std::string& a, const std::string& b) {
    int n = std::snprintf(nullptr, 0, fmt, a.c_str(), b.c_str());
    if (n < 0) return {};
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::snprintf(buf.data(), buf.size(), fmt, a.c_str(), b.c_str());
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::string own_folder() {
    std::vector<wchar_t> buf(32768);
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    std::wstring path(buf.data(), n < buf.size() ? n : 0);
    auto slash = path.find_last_of(L'\\');
    return platform::utf16_to_utf8(path.substr(0, slash == std::wstring::npos ? 0 : slash + 1));
}

std::optional<std::string> mp3_class(size_t buffer_bytes) {
    toolkit::HeldKey held;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L".mp3", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, held.out(), nullptr) !=
        ERROR_SUCCESS)
        return std::nullopt;
    HKEY key = held.get();
    std::vector<wchar_t> buf(buffer_bytes / sizeof(wchar_t) + 1, 0);
    DWORD type = 0, size = static_cast<DWORD>(buffer_bytes);
    LONG rc = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
    std::optional<std::string> found;
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ;
    if (rc == ERROR_MORE_DATA) {
        // A class name longer than the buffer: the entry is left alone.
    } else if (rc == ERROR_SUCCESS && !text) {
        // A value of another type (binary, a list of texts) names no class we could use, and
        // is not ours to replace: the entry is left alone, as when the key cannot be read.
    } else if (rc == ERROR_SUCCESS && buf[0] != 0) {
        found = platform::utf16_to_utf8(std::wstring(buf.data()));
    } else {
        std::wstring cls = platform::utf8_to_utf16(setup::k_mp3_class);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(cls.c_str()),
                       static_cast<DWORD>((cls.size() + 1) * sizeof(wchar_t)));
        found = std::string(setup::k_mp3_class);
    }
    return found;
}

int message(HWND parent, const std::string& cp932_text, const std::string& cp932_caption, UINT type) {
    return MessageBoxW(parent, wide(cp932_text).c_str(), wide(cp932_caption).c_str(), type);
}

// The editor writes kt.dat beside itself, and it runs as the user, not as the administrator
// who installed it. The ordinary users of the machine (the Users group) get the right to
// change the files of the install folder, an entry that the files inherit; without it
// Windows keeps a per-user copy of kt.dat elsewhere that neither setup program sees. The
// folder's other entries stay. False when the entry cannot be set, which the installation
// survives: the editor then says that it cannot save its settings.
bool let_users_change(const std::wstring& folder) {
    BYTE sid_bytes[SECURITY_MAX_SID_SIZE];
    DWORD sid_size = sizeof sid_bytes;
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid_bytes, &sid_size)) return false;
    PACL old_acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old_acl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid_bytes);
    PACL new_acl = nullptr;
    bool done = SetEntriesInAclW(1, &entry, old_acl, &new_acl) == ERROR_SUCCESS &&
                SetNamedSecurityInfoW(const_cast<LPWSTR>(folder.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, new_acl, nullptr) == ERROR_SUCCESS;
    if (new_acl) LocalFree(new_acl);
    LocalFree(descriptor);
    return done;
}

} // namespace setup_win32
