// The question dialogs, the notice menus, and the user interface the core speaks to.
#include <cstdio>

#include "editor/resources/resource.h"
#include "editor/window/editor.h"
#include "editor/window/texts.h"
#include "platform/text.h"

namespace editor {

Program program;
WindowUi window_ui;

std::string file_path(const std::string& cp932) { return platform::cp932_to_utf8(cp932); }

std::string current_folder() {
    char buf[4096] = {};
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

namespace {

// Every question dialog: 1 ends with 1, 2 (or Esc) with 0, and each click on the check box
// flips the setting it stands for at once, whichever button closes the dialog then. The
// rename dialogs also show the old and the new name.
struct Question {
    int32_t* flag;
    const char* old_name;
    const char* new_name;
};

INT_PTR CALLBACK question_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        auto* q = reinterpret_cast<const Question*>(lp);
        if (q && q->old_name) SetDlgItemTextA(dlg, IDC_OLD_NAME, q->old_name);
        if (q && q->new_name) SetDlgItemTextA(dlg, IDC_NEW_NAME, q->new_name);
        return TRUE;
    }
    case WM_COMMAND: {
        auto* q = reinterpret_cast<Question*>(GetWindowLongPtrA(dlg, DWLP_USER));
        switch (LOWORD(wp)) {
        case IDC_ANSWER_YES: EndDialog(dlg, 1); return TRUE;
        case IDC_ANSWER_NO: EndDialog(dlg, 0); return TRUE;
        case IDC_NEVER_ASK:
            if (q && q->flag) *q->flag = *q->flag ? 0 : 1;
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

} // namespace

bool ask(int dialog, int32_t& flag, const char* old_name, const char* new_name) {
    Question q{&flag, old_name, new_name};
    return DialogBoxParamA(program.instance, MAKEINTRESOURCEA(dialog), program.main, question_proc,
                           reinterpret_cast<LPARAM>(&q)) == 1;
}

bool WindowUi::ask_clear_read_only(int32_t& f) { return ask(IDD_READ_ONLY, f); }
bool WindowUi::ask_convert_to_rmp(int32_t& f) { return ask(IDD_CONVERT, f); }

void show_notice_menu(HWND owner, const char* const* lines, int count, int dx, int dy, UINT item_id) {
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < count; ++i) {
        if (lines[i][0] == 0) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        // A file name or tag text may hold "&", which a menu would take for an accelerator
        // mark; "&&" shows it. No cp932 trail byte is 0x26, so bytes can be scanned one by one.
        std::string shown;
        for (const char* c = lines[i]; *c; ++c) shown += *c == '&' ? "&&" : std::string(1, *c);
        AppendMenuA(menu, MF_STRING, item_id, shown.c_str());
    }
    POINT p;
    GetCursorPos(&p);
    SetForegroundWindow(owner);
    TrackPopupMenu(menu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, p.x + dx, p.y + dy, 0, owner, nullptr);
    DestroyMenu(menu);
}

void WindowUi::notice(editing::Notice what, const std::string& detail) {
    using editing::Notice;
    std::string why = detail;  // the system's words come as UTF-8
    std::string shown;
    std::string bad;
    if (!platform::utf8_to_cp932(why, shown, bad)) shown = why;
    switch (what) {
    case Notice::apply_cancelled: {
        const char* lines[] = {texts::error_head, "", texts::cancelled};
        show_notice_menu(program.owner, lines, 3, 30, -30, IDM_INFO);
        break;
    }
    case Notice::apply_failed: {
        const char* lines[] = {texts::error_head, "", texts::write_failed, shown.c_str()};
        show_notice_menu(program.owner, lines, 4, 30, -30, IDM_INFO);
        break;
    }
    case Notice::cannot_open: {
        const char* lines[] = {texts::error_head, "", texts::cannot_open};
        show_notice_menu(program.owner, lines, 3, 30, -30, IDM_INFO);
        break;
    }
    case Notice::not_mp3: {
        const char* lines[] = {texts::not_mp3};
        show_notice_menu(program.owner, lines, 1, 30, -30, IDM_INFO);
        break;
    }
    }
}

std::string control_text(HWND dlg, int id, size_t buffer) {
    std::string buf(buffer, '\0');
    UINT n = GetDlgItemTextA(dlg, id, buf.data(), static_cast<int>(buf.size()));
    return std::string(buf.data(), n < buf.size() ? n : 0);
}

editing::FieldTexts read_fields(HWND dlg, size_t buffer) {
    auto get = [&](int id) { return control_text(dlg, id, buffer); };
    return {get(IDC_TITLE), get(IDC_ARTIST), get(IDC_ALBUM), get(IDC_YEAR), get(IDC_COMMENT)};
}

// 256 bytes: the texts reach the file with at most 255 bytes each.
editing::FieldTexts WindowUi::field_texts() { return read_fields(program.main, 256); }

void WindowUi::set_apply_enabled(bool on) {
    if (program.main) EnableWindow(GetDlgItem(program.main, IDC_APPLY), on);
}

void WindowUi::set_mode_label(bool rmp) {
    if (program.main) SetDlgItemTextA(program.main, IDC_MODE, rmp ? "RMP" : "ID3");
}

void WindowUi::set_field_limits(bool long_texts) {
    if (!program.main) return;
    WPARAM text = long_texts ? 255 : 30, year = long_texts ? 255 : 4;
    SendDlgItemMessageA(program.main, IDC_TITLE, EM_LIMITTEXT, text, 0);
    SendDlgItemMessageA(program.main, IDC_ARTIST, CB_LIMITTEXT, text, 0);
    SendDlgItemMessageA(program.main, IDC_ALBUM, CB_LIMITTEXT, text, 0);
    SendDlgItemMessageA(program.main, IDC_YEAR, CB_LIMITTEXT, year, 0);
    SendDlgItemMessageA(program.main, IDC_COMMENT, CB_LIMITTEXT, text, 0);
}

bool WindowUi::carry_over_on() {
    // Before the window exists (the start file) nothing is carried over: the file keeps its
    // own texts and genre.
    return program.main && !IsWindowEnabled(GetDlgItem(program.main, IDC_ARTIST));
}

void WindowUi::end_carry_over() {
    if (!program.main) return;
    for (int id : {IDC_ARTIST, IDC_ALBUM, IDC_YEAR, IDC_COMMENT}) EnableWindow(GetDlgItem(program.main, id), TRUE);
}

bool discard_question() {
    if (!program.session.modified) return true;
    return MessageBoxA(program.main, texts::discard_question, texts::confirm_caption,
                       MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

} // namespace editor
