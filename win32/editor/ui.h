// The window's text boundary, the question dialogs and notice menus, and the user interface
// that the core speaks to (ui.cpp).
#pragma once
#include <windows.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/editing/session.h"
#include "win32/common/toolkit_win32.h"
#include "core/editing/edit_rules.h"
#include "platform/file.h"
#include "platform/text.h"

namespace editor {

struct EditorWindow;

// The one text boundary and the guard of every callback (win32/common/toolkit_win32.h).
using toolkit::guarded;
using toolkit::narrow;
using toolkit::utf8_path;
using toolkit::wide;
using toolkit::wide_path;
// A kt.dat slot's text (cp932) as a path, and back: false when the path has no cp932 form.
inline std::string slot_path(std::string_view cp932) { return platform::cp932_to_utf8(cp932); }
bool path_for_slot(const std::string& utf8, std::string& cp932);
void set_control_text(HWND dlg, int id, std::string_view cp932);

// The current folder belongs to the platform layer.
using platform::current_folder;
using platform::FolderKept;
using platform::set_current_folder;

// The user interface that the core calls, wired to dialog 142 and the question dialogs.
class WindowUi final : public editing::UserInterface {
public:
    explicit WindowUi(EditorWindow& w) : w_(w) {}
    bool ask_clear_read_only(int32_t& no_confirm_readonly) override;
    bool ask_convert_to_rmp(int32_t& no_confirm_rmp) override;
    void notice(editing::Notice what, const std::string& detail) override;
    editing::FieldTexts field_texts() override;
    void show_texts(const editing::FieldTexts& texts) override;
    void show_unicode(size_t field, const std::string& utf8) override;
    std::string read_back(const std::string& shown) override;
    void set_apply_enabled(bool enabled) override;
    void set_mode_label(bool rmp) override;
    void show_id3v2(int major, bool differs) override;
    void set_field_limits(bool long_texts) override;
    void show_carry_over(bool on) override;
    void hand_over(formats::FileKind kind, const std::string& path) override;
    bool before_replace(bool new_file) override;
    void after_replace(const std::string& path) override;

private:
    void show_mode();
    EditorWindow& w_; // its state, the mode label's too, is the window's: one is made per call
};

// The five fields' controls and painted captions (placed by face::place_face), in the order
// of editing::k_fields.
struct FieldControl {
    int id;
    const char* caption; // cp932
    bool combo_box;      // the title is an edit control, the others drop-down lists
};
extern const std::array<FieldControl, 5> k_field_controls;

// A control's text in cp932, cut to at most `max_bytes` bytes at a character boundary.
std::string control_text(HWND dlg, int id, size_t max_bytes);
// The texts of the five edit fields, each of at most `max_bytes` bytes.
editing::FieldTexts read_fields(HWND dlg, size_t max_bytes);
// A field grown past its limit in cp932 bytes (the control counts UTF-16 units) is cut back.
void keep_field_limit(EditorWindow& w, int id);

// A question dialog (135, 137, 138 or 141) owned by the main window; true for its button 1.
// The rename dialogs show the two names in 1030 and 1029.
bool ask(const EditorWindow& w, int dialog, int32_t& never_ask, const std::wstring& old_name = {},
         const std::wstring& new_name = {});

// A popup menu of string items that carry no command, at the cursor moved by (dx, dy); an
// empty line is a separator.
void show_notice_menu(HWND owner, const std::vector<std::wstring>& lines, int dx, int dy, UINT item_id);
// The notice of a file that could not be written (a tag, the settings), with the system's words
// (UTF-8) on why.
void show_write_failure(HWND owner, const std::string& detail);
// The notice of a settings file that could not be written: the file and the system's words.
void show_settings_failure(HWND owner, const std::string& utf8_path, const std::string& detail);
// "Yes" to go on: asked only while the tag is modified.
bool discard_question(const EditorWindow& w);

} // namespace editor
