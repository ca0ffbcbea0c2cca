// The window's services that its features share: opening a file, the title, the file box, the
// history in the drop-down lists, and saving the settings.
#include "win32/editor/window.h"

#include <windows.h>

#include <cstdio>

#include "core/editing/edit_rules.h"
#include "core/editing/load_file.h"
#include "core/editing/paths.h"
#include "win32/editor/editor.h"
#include "win32/editor/resources/resource.h"
#include "win32/editor/texts.h"
#include "win32/editor/ui.h"

namespace editor {

void offer_history(EditorWindow& w, bool latest_first) {
    HWND dlg = w.main;
    editing::DropDowns lists;
    auto read = [&](int id, std::vector<std::string>& items) {
        LRESULT n = SendDlgItemMessageW(dlg, id, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t buf[512] = {};
            if (SendDlgItemMessageW(dlg, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 511)
                SendDlgItemMessageW(dlg, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
            items.push_back(narrow(buf));
        }
    };
    read(IDC_ARTIST, lists.artist);
    read(IDC_ALBUM, lists.album);
    read(IDC_COMMENT, lists.comment);
    size_t had_artist = lists.artist.size(), had_album = lists.album.size(), had_comment = lists.comment.size();
    editing::offer_history_texts(w.settings.tag_history, latest_first, lists);
    auto add = [&](int id, const std::vector<std::string>& items, size_t from) {
        for (size_t i = from; i < items.size(); ++i)
            SendDlgItemMessageW(dlg, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(items[i]).c_str()));
    };
    add(IDC_ALBUM, lists.album, had_album);
    add(IDC_ARTIST, lists.artist, had_artist);
    add(IDC_COMMENT, lists.comment, had_comment);
}

void show_file_box(const EditorWindow& w) {
    SetDlgItemTextW(w.main, IDC_FILE_BOX,
                    wide_path(editing::relative_form(w.session.current_path, current_folder())).c_str());
}

void set_title(const EditorWindow& w) {
    char title[4200];
    std::snprintf(title, sizeof title, "%s %s", settings::slot_text(w.settings.display_name).c_str(), texts::version);
    SetWindowTextW(w.main, wide(title).c_str());
}

void save_settings_now(EditorWindow& w) {
    RECT r;
    if (w.main && GetWindowRect(w.main, &r)) {
        w.settings.window_left = r.left;
        w.settings.window_top = r.top;
    }
    // Reported, with the file's name (a folder the user may not write, say the program folder
    // of an installation that did not let its users change it); the settings stay in memory for
    // the next save.
    if (platform::Result saved = settings::save_settings(w.settings_path, w.settings); !saved)
        show_settings_failure(w.owner, w.settings_path, saved.detail);
}

bool open_file(EditorWindow& w, const std::string& utf8_path) {
    WindowUi ui(w);
    if (!editing::open_file(w.session, w.settings, ui, utf8_path).ok()) return false;
    offer_history(w, false);
    show_file_box(w);
    play_loaded_file(w, utf8_path);
    update_status(w);
    return true;
}

} // namespace editor
