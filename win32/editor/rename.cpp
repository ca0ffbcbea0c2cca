// Renaming the current file by its tag: "(artist)title.mp3" or "artist-title.mp3" in the
// file's own folder, with full-width look-alikes for characters a file name cannot hold when the
// plain name fails. The tag itself never changes here.
#include <windows.h>

#include "win32/editor/resources/resource.h"
#include "core/formats/text_rules.h"
#include "win32/editor/editor.h"
#include "win32/editor/window.h"
#include "win32/editor/rename.h"
#include "win32/editor/ui.h"
#include "core/editing/paths.h"
#include "win32/editor/texts.h"
#include "platform/file.h"
#include "platform/text.h"

namespace editor {

namespace {

void failure_notice(const EditorWindow& w, const std::string& old_name) {
    show_notice_menu(w.owner,
                     {wide(texts::error_head_brackets), L"", wide_path(old_name), L"", wide(texts::rename_failed),
                      wide(texts::rename_failed_why)},
                     30, -30, IDM_INFO);
}

// The move waits for another of our writers of the file (a tagzo-cli set, which replaces it),
// as tagzo-cli's rename does: the file then keeps the tag that writer gave it, under the new
// name. A file of the new name is never replaced.
bool move(const std::string& from, const std::string& to) {
    platform::WriteLock lock;
    lock.hold(from);
    // The system's words are not shown: a first failure is expected where the name holds a
    // character a file name cannot, and the notice of a last one gives the product's reasons.
    return platform::move_file(from, to).ok();
}

} // namespace

void rename_by_tag(EditorWindow& w) {
    HWND dlg = w.main;
    // The name takes the full title but, in the ID3v1 form, only the 30 bytes of the artist
    // that the record holds (cut before a double-byte character that would not fit).
    const std::string old_name = w.session.current_path;
    editing::TagRename plan =
        editing::plan_tag_rename(old_name, w.settings.rename_pattern, w.session.rmp_texts.is_rmp,
                                 control_text(dlg, IDC_ARTIST, 255), control_text(dlg, IDC_TITLE, 4095));
    if (!plan.has_texts) {
        show_notice_menu(dlg, {wide(texts::no_title_or_artist)}, 30, -30, IDM_INFO);
        return;
    }
    // The new name lies in the file's own folder, whichever folder is current. The folder may
    // hold any character; only the name is made of the tag's cp932 texts.
    if (editing::folder_of(old_name).empty()) return failure_notice(w, old_name);
    if (plan.same_name) return;
    const std::string& name = plan.name;
    std::string new_name = plan.new_path;
    std::wstring old_shown = wide_path(editing::relative_form(old_name, editing::folder_of(old_name)));

    if (w.settings.no_confirm_rename == 0 && !ask(w, IDD_RENAME, w.settings.no_confirm_rename, old_shown, wide(name)))
        return;

    // The decoder holds the file open while it plays: stop it for the move.
    PlayState before = pause_for_rename(w);
    if (!move(old_name, new_name)) {
        std::string replaced;
        if (!editing::replace_unusable_chars(name, replaced)) return failure_notice(w, old_name);
        if (w.settings.no_confirm_char_replace == 0 &&
            !ask(w, IDD_REPLACE_CHARS, w.settings.no_confirm_char_replace, wide(name), wide(replaced)))
            return failure_notice(w, old_name);
        new_name = editing::path_beside(old_name, replaced);
        if (!move(old_name, new_name)) return failure_notice(w, old_name);
    }
    if (w.settings.quit_after_apply == 1) PostMessageW(dlg, WM_COMMAND, IDC_CLOSE_X, 0);
    editing::renamed(w.session, new_name);
    show_file_box(w);
    resume_after_rename(w, before, new_name);
}

} // namespace editor
