// The setup programs' own texts, in code page 932: the sources are UTF-8 and the compiler
// turns these literals into cp932 (-fexec-charset=CP932). They reach Windows only through
// wide() of setup_win32.h.
#pragma once

namespace setup_texts {

inline constexpr const char* verb = "id3タグ編集";
inline constexpr const char* confirm_caption = "確認";
inline constexpr const char* default_display_name = "kessa";

// The installer.
inline constexpr const char* title_install = "%s ～ｲﾝｽﾄｰﾙ～";
inline constexpr const char* title_version_up = "%s ～ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ～";
inline constexpr const char* start_version_up = "ﾊﾞｰｼﾞｮﾝｱｯﾌﾟを行う";
inline constexpr const char* ask_install = "《%s》をｲﾝｽﾄｰﾙします。よろしいですか？";
inline constexpr const char* ask_version_up = "《%s》のﾊﾞｰｼﾞｮﾝｱｯﾌﾟを行います。よろしいですか？";
inline constexpr const char* same_folder =
    "ｲﾝｽﾄｰﾙ先ﾃﾞｨﾚｸﾄﾘと ｲﾝｽﾄｰﾙ元ﾃﾞｨﾚｸﾄﾘ が同じなので、ﾌｧｲﾙのｺﾋﾟｰは行いませんでした";
inline constexpr const char* copy_failed = "ｲﾝｽﾄｰﾙに失敗しました\nｱｰｶｲﾌﾞを解凍しなおしてから再度ｲﾝｽﾄｰﾙを試みて下さい";
inline constexpr const char* set_up = "ｾｯﾄｱｯﾌﾟを完了しました";
inline constexpr const char* done =
    "%sを完了しました\n－＞ｲﾝｽﾄｰﾙ先［%s］\n\n現在のﾃﾞｨﾚｸﾄﾘにあるﾌｧｲﾙは削除してしまっても構いません";
inline constexpr const char* word_install = "ｲﾝｽﾄｰﾙ";
inline constexpr const char* word_version_up = "ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ";

// The uninstaller.
inline constexpr const char* uninstall_display_name = "けっさ";
inline constexpr const char* ask_uninstall = "《%s》をｱﾝｲﾝｽﾄｰﾙします。よろしいですか？";
inline constexpr const char* removed = "ﾚｼﾞｽﾄﾘのｺﾞﾐ及び実行ﾌｧｲﾙ群を削除しました";
inline constexpr const char* removed_caption = "ｱﾝｲｽﾄｰﾙ完了";
inline constexpr const char* manual_archive = "マニュアル.lzh";

} // namespace setup_texts
