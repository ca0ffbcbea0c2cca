// Renaming the current file by its tag: "(artist)title.mp3" or "artist-title.mp3" in the
// file's own folder, with full-width look-alikes for characters a file name cannot hold when the
// plain name fails. The tag itself never changes here.
#include <windows.h>

#include "editor/resources/resource.h"
#include "editor/tags/text_rules.h"
#include "editor/window/editor.h"
#include "editor/window/paths.h"
#include "editor/window/texts.h"
#include "platform/text.h"

namespace editor {

namespace {

void failure_notice(const std::string& old_name) {
    const char* lines[] = {texts::error_head_brackets, "", old_name.c_str(), "", texts::rename_failed,
                           texts::rename_failed_why};
    show_notice_menu(program.owner, lines, 6, 30, -30, IDM_INFO);
}

} // namespace

void rename_by_tag(HWND dlg) {
    // The name takes the full title but, in the ID3v1 form, only the 30 bytes of the artist
    // that the record holds (cut before a double-byte character that would not fit).
    std::string artist = control_text(dlg, IDC_ARTIST, 256);
    if (!program.session.rmp_texts.is_rmp) artist = tags::cut_to_width(artist, 30);
    std::string title = control_text(dlg, IDC_TITLE, 4096);
    if (title.empty() || artist.empty()) {
        const char* lines[] = {texts::no_title_or_artist};
        show_notice_menu(dlg, lines, 1, 30, -30, IDM_INFO);
        return;
    }
    const std::string old_name = program.current_path;
    // The new name lies in the file's own folder, whichever folder is current.
    std::string folder, bad;
    if (!platform::utf8_to_cp932(editing::folder_of(program.session.current_path), folder, bad) || folder.empty())
        return failure_notice(old_name);
    std::string folder_slash = editing::folder_with_backslash(folder);
    std::string new_name = editing::name_by_tag(program.settings.rename_pattern, folder_slash, artist, title);
    if (tags::equal_ignoring_case(new_name, old_name)) return;

    std::string new_relative = editing::relative_form(new_name, folder);
    if (program.settings.no_confirm_rename == 0 &&
        !ask(IDD_RENAME, program.settings.no_confirm_rename, editing::relative_form(old_name, folder).c_str(),
             new_relative.c_str()))
        return;

    // The decoder holds the file open while it plays: stop it for the move.
    PlayState before = pause_for_rename(dlg);
    if (!MoveFileA(old_name.c_str(), new_name.c_str())) {
        std::string replaced;
        if (!editing::replace_unusable_chars(new_relative, replaced)) return failure_notice(old_name);
        if (program.settings.no_confirm_char_replace == 0 &&
            !ask(IDD_REPLACE_CHARS, program.settings.no_confirm_char_replace, new_relative.c_str(), replaced.c_str()))
            return failure_notice(old_name);
        new_name = folder_slash + replaced;
        if (!MoveFileA(old_name.c_str(), new_name.c_str())) return failure_notice(old_name);
    }
    if (program.settings.quit_after_apply == 1) PostMessageA(dlg, WM_COMMAND, IDC_CLOSE_X, 0);
    program.current_path = new_name;
    program.session.current_path = file_path(new_name);
    show_file_box(dlg);
    resume_after_rename(dlg, before, new_name);
}

} // namespace editor
