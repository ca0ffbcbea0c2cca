// What the installer and the uninstaller share on Windows: the one text boundary, the
// program's own folder, the class of MP3 files, and the message box.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "win32/common/toolkit_win32.h"

namespace setup_win32 {

// A cp932 text (ours, or one read from kt.dat) as UTF-16 for a W call; a UTF-8 path as UTF-16.
using toolkit::wide;
using toolkit::wide_path;
// printf-style with one or two cp932 texts; a text is never used as the format itself.
std::string format(const char* fmt, const std::string& a, const std::string& b = {});

// The program's own folder, UTF-8, with its trailing backslash.
std::string own_folder();

// The class of MP3 files: the default value of ".mp3" under HKEY_CLASSES_ROOT, which becomes
// "mp3_auto_file" when it is missing or empty. Nothing when the key cannot be opened, the
// value is no text (it is then left as it is) or the name does not fit a buffer of
// `buffer_bytes`. UTF-8.
std::optional<std::string> mp3_class(size_t buffer_bytes);

// Gives the Users group the right to change the files of `folder` (no trailing backslash), an
// entry that what is made in it inherits; the folder's other entries stay. False when the
// entry cannot be set.
bool let_users_change(const std::wstring& folder);

int message(HWND parent, const std::string& cp932_text, const std::string& cp932_caption, UINT type);

} // namespace setup_win32
