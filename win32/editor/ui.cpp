// The question dialogs, the notice menus, and the user interface the core speaks to.
#include <cstdio>

#include "win32/common/dialog_font_win32.h"
#include "win32/editor/resources/resource.h"
#include "core/formats/tag.h"
#include "core/formats/text_rules.h"
#include "win32/editor/editor.h"
#include "win32/common/toolkit_win32.h"
#include "win32/editor/ui.h"
#include "win32/editor/accessible.h"
#include "win32/editor/texts.h"
#include "platform/text.h"

namespace editor {

const std::array<FieldControl, 5> k_field_controls = {{
    {IDC_TITLE, texts::caption_title, false},
    {IDC_ARTIST, texts::caption_artist, true},
    {IDC_ALBUM, texts::caption_album, true},
    {IDC_YEAR, texts::caption_year, true},
    {IDC_COMMENT, texts::caption_comment, true},
}};

bool path_for_slot(const std::string& utf8, std::string& cp932) {
    std::string bad;
    return platform::utf8_to_cp932(utf8, cp932, bad);
}

void set_control_text(HWND dlg, int id, std::string_view cp932) { SetDlgItemTextW(dlg, id, wide(cp932).c_str()); }

namespace {

// Every question dialog: 1 ends with 1, 2 (or Esc) with 0, and each click on the check box
// flips the setting it stands for at once, whichever button closes the dialog then. The
// rename dialogs also show the old and the new name.
struct Question {
    int32_t* flag;
    std::wstring old_name, new_name;
};

INT_PTR handle_question(Question& q, HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        if (!q.old_name.empty()) SetDlgItemTextW(dlg, IDC_OLD_NAME, q.old_name.c_str());
        if (!q.new_name.empty()) SetDlgItemTextW(dlg, IDC_NEW_NAME, q.new_name.c_str());
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_ANSWER_YES: EndDialog(dlg, 1); return TRUE;
        case IDC_ANSWER_NO: EndDialog(dlg, 0); return TRUE;
        case IDC_NEVER_ASK:
            if (q.flag) *q.flag = *q.flag ? 0 : 1;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

bool ask(const EditorWindow& w, int dialog, int32_t& flag, const std::wstring& old_name, const std::wstring& new_name) {
    Question q{&flag, old_name, new_name};
    return dialog_font::dialog_box(w.instance, static_cast<WORD>(dialog), w.main, toolkit::dialog_proc<Question, handle_question>, reinterpret_cast<LPARAM>(&q)) ==
           1;
}

bool WindowUi::ask_clear_read_only(int32_t& f) { return ask(w_, IDD_READ_ONLY, f); }
bool WindowUi::ask_convert_to_rmp(int32_t& f) { return ask(w_, IDD_CONVERT, f); }

void show_notice_menu(HWND owner, const std::vector<std::wstring>& lines, int dx, int dy, UINT item_id) {
    HMENU menu = CreatePopupMenu();
    for (const std::wstring& line : lines) {
        if (line.empty()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        // A file name or tag text may hold "&", which a menu would take for an accelerator
        // mark; "&&" shows it.
        std::wstring shown;
        for (wchar_t c : line) shown += c == L'&' ? std::wstring(L"&&") : std::wstring(1, c);
        AppendMenuW(menu, MF_STRING, item_id, shown.c_str());
    }
    POINT p;
    GetCursorPos(&p);
    SetForegroundWindow(owner);
    const UINT scale = dpi::of_window(owner); // the offsets are given at 96 DPI
    TrackPopupMenu(menu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, p.x + dpi::scale(dx, scale), p.y + dpi::scale(dy, scale), 0,
                   owner, nullptr);
    DestroyMenu(menu);
}

void show_write_failure(HWND owner, const std::string& detail) {
    std::wstring why = wide_path(detail); // the system's words come as UTF-8
    show_notice_menu(owner, {wide(texts::error_head), L"", wide(texts::write_failed), why}, 30, -30, IDM_INFO);
}

void show_settings_failure(HWND owner, const std::string& utf8_path, const std::string& detail) {
    show_notice_menu(owner, {wide(texts::error_head), L"", wide(texts::settings_not_saved), wide_path(utf8_path),
                             wide_path(detail)},
                     30, -30, IDM_INFO);
}

void WindowUi::notice(editing::Notice what, const std::string& detail) {
    using editing::Notice;
    switch (what) {
    case Notice::apply_cancelled:
        show_notice_menu(w_.owner, {wide(texts::error_head), L"", wide(texts::cancelled)}, 30, -30, IDM_INFO);
        break;
    case Notice::apply_failed: show_write_failure(w_.owner, detail); break;
    case Notice::cannot_open:
        show_notice_menu(w_.owner, {wide(texts::error_head), L"", wide(texts::cannot_open)}, 30, -30, IDM_INFO);
        break;
    case Notice::not_mp3: show_notice_menu(w_.owner, {wide(texts::not_mp3)}, 30, -30, IDM_INFO); break;
    case Notice::id3v2_left:
        show_notice_menu(w_.owner,
                         {wide(texts::error_head), L"", wide(texts::id3v2_not_written), wide_path(w_.session.current_path),
                          wide_path(detail)},
                         30, -30, IDM_INFO);
        break;
    }
}

std::string control_text(HWND dlg, int id, size_t max_bytes) {
    HWND control = GetDlgItem(dlg, id);
    int n = GetWindowTextLengthW(control);
    std::wstring buf(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
    n = GetWindowTextW(control, buf.data(), static_cast<int>(buf.size()));
    return formats::cut_to_width(narrow(std::wstring_view(buf.data(), n > 0 ? static_cast<size_t>(n) : 0)), max_bytes);
}

editing::FieldTexts read_fields(HWND dlg, size_t max_bytes) {
    editing::FieldTexts f;
    for (size_t i = 0; i < k_field_controls.size(); ++i)
        f.*editing::k_fields[i].text = control_text(dlg, k_field_controls[i].id, max_bytes);
    return f;
}

void keep_field_limit(EditorWindow& w, int id) {
    if (w.program_sets_text) return;
    HWND dlg = w.main;
    for (size_t i = 0; i < k_field_controls.size(); ++i) {
        if (k_field_controls[i].id != id) continue;
        // The fields' limits in cp932 bytes: 255 while the RMP form is allowed, else 30 (the
        // year 4), as set_field_limits gave the controls.
        size_t limit = w.settings.rmp_enabled != 0 ? formats::k_text_capacity : editing::k_fields[i].id3_width;
        std::string text = control_text(dlg, id, 4096);
        if (text.size() <= limit) return;
        HWND control = GetDlgItem(dlg, id);
        SetWindowTextW(control, wide(formats::cut_to_width(text, limit)).c_str());
        // The caret goes to the end, where the cut was made.
        if (k_field_controls[i].combo_box) SendMessageW(control, CB_SETEDITSEL, 0, MAKELPARAM(0x7FFF, 0x7FFF));
        else SendMessageW(control, EM_SETSEL, 0x7FFF, 0x7FFF);
    }
}

// The texts reach the file with at most 255 bytes each.
editing::FieldTexts WindowUi::field_texts() { return read_fields(w_.main, formats::k_text_capacity); }

// A field holds what set_control_text gave it, and field_texts reads it back.
std::string WindowUi::read_back(const std::string& shown) {
    return formats::cut_to_width(narrow(wide(shown)), formats::k_text_capacity);
}

void WindowUi::show_texts(const editing::FieldTexts& t) {
    if (!w_.main) return;
    w_.program_sets_text = true;
    for (size_t i = 0; i < k_field_controls.size(); ++i)
        set_control_text(w_.main, k_field_controls[i].id, t.*editing::k_fields[i].text);
    w_.program_sets_text = false;
}

void WindowUi::show_unicode(size_t field, const std::string& utf8) {
    if (!w_.main || field >= k_field_controls.size()) return;
    w_.program_sets_text = true;
    SetDlgItemTextW(w_.main, k_field_controls[field].id, wide_path(utf8).c_str());
    w_.program_sets_text = false;
}

void WindowUi::set_apply_enabled(bool on) {
    if (w_.main) EnableWindow(GetDlgItem(w_.main, IDC_APPLY), on);
}

void WindowUi::set_mode_label(bool rmp) {
    w_.mode_shown.rmp = rmp;
    show_mode();
}

void WindowUi::show_id3v2(int major, bool differs) {
    w_.mode_shown.id3v2_major = major;
    w_.mode_shown.id3v2_differs = major != 0 && differs;
    show_mode();
}

// "ID3" or "RMP", with "+v2" where the file carries an ID3v2 tag too, and "≠v2" where that
// tag's texts differ from the fields. A screen reader hears it in words.
void WindowUi::show_mode() {
    if (!w_.main) return;
    std::wstring label = w_.mode_shown.rmp ? L"RMP" : L"ID3";
    std::string name = w_.mode_shown.rmp ? texts::mode_rmp : texts::mode_id3;
    if (w_.mode_shown.id3v2_major != 0) {
        label += w_.mode_shown.id3v2_differs ? L"\x2260v2" : L"+v2";
        name += " ID3v2." + std::to_string(w_.mode_shown.id3v2_major);
        name += w_.mode_shown.id3v2_differs ? texts::mode_v2_differs : texts::mode_v2_same;
    }
    HWND mode = GetDlgItem(w_.main, IDC_MODE);
    SetWindowTextW(mode, label.c_str());
    name_for_screen_readers(mode, wide(name));
}

void WindowUi::set_field_limits(bool long_texts) {
    if (!w_.main) return;
    // The controls count UTF-16 units, never more than the cp932 bytes: their limit lets no
    // more in than fits, and keep_field_limit cuts double-byte text to the bytes.
    for (size_t i = 0; i < k_field_controls.size(); ++i) {
        WPARAM limit = long_texts ? formats::k_text_capacity : editing::k_fields[i].id3_width;
        const FieldControl& c = k_field_controls[i];
        SendDlgItemMessageW(w_.main, c.id, c.combo_box ? CB_LIMITTEXT : EM_LIMITTEXT, limit, 0);
    }
}

// The fields that carry over are disabled while the mode is on.
void WindowUi::show_carry_over(bool on) {
    if (!w_.main) return;
    for (int id : {IDC_ARTIST, IDC_ALBUM, IDC_YEAR, IDC_COMMENT}) EnableWindow(GetDlgItem(w_.main, id), !on);
}

bool WindowUi::before_replace(bool) {
    stop_for_replace(w_);
    return true;
}
void WindowUi::after_replace(const std::string& path) { resume_after_replace(w_, path); }

bool discard_question(const EditorWindow& w) {
    if (!w.session.modified) return true;
    return MessageBoxW(w.main, wide(texts::discard_question).c_str(), wide(texts::confirm_caption).c_str(),
                       MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

} // namespace editor
