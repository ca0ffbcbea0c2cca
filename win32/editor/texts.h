// The editor's own texts, in code page 932: the sources are UTF-8 and the compiler turns these
// literals into cp932 (-fexec-charset=CP932), so only files that include this one need the flag.
#pragma once

namespace texts {

inline constexpr const char* version = "0.29";
inline constexpr const char* error_head = "<error>";
inline constexpr const char* error_head_kana = "<ｴﾗｰ>";
inline constexpr const char* cancelled = "処理をｷｬﾝｾﾙしました";
inline constexpr const char* cannot_open = "ﾌｧｲﾙが開けません";
inline constexpr const char* not_mp3 = "たぶんmp3ﾌｧｲﾙじゃねぇっす";
inline constexpr const char* read_only_file = "このﾌｧｲﾙは読み込み専用です";
inline constexpr const char* discard_question = "ﾀｸﾞが更新されています\n変更内容を破棄してもよろしいですか?";
inline constexpr const char* confirm_caption = "確認";
inline constexpr const char* write_failed = "ﾌｧｲﾙに書き込めません";
inline constexpr const char* settings_not_saved = "設定を保存できません";
inline constexpr const char* id3v2_not_written = "ID3v2ﾀｸﾞは書き換えられませんでした (ﾌﾟﾚｰﾔｰには古い文字が出ます)";
inline constexpr const char* mode_id3 = "ID3";
inline constexpr const char* mode_rmp = "RMP";
inline constexpr const char* mode_v2_same = "ﾀｸﾞあり";
inline constexpr const char* mode_v2_differs = "ﾀｸﾞあり、欄と違う文字があります";
inline constexpr const char* rmp_other_items = "RMPその他の項目";
inline constexpr const char* rmp_copyright = "著作者 : %s ";
inline constexpr const char* rmp_engineer = "作成者 : %s ";
inline constexpr const char* rmp_software = "ｿﾌﾄｳｪｱ : %s ";
inline constexpr const char* caption_title = "曲名";
inline constexpr const char* caption_artist = "ｱｰﾃｨｽﾄ";
inline constexpr const char* caption_album = "ｱﾙﾊﾞﾑ";
inline constexpr const char* caption_year = "年代";
inline constexpr const char* caption_comment = "ｺﾒﾝﾄ";
inline constexpr const char* caption_wave_vol = "Wave Vol";
// What screen readers call the position slider and the file box, which have no caption.
inline constexpr const char* name_position = "再生位置";
inline constexpr const char* name_file_box = "ファイル名";
inline constexpr const char* label_font = "ＭＳ ゴシック";
inline constexpr const char* auto_play_on = "AutoPlay ON";
inline constexpr const char* auto_play_off = "AutoPlay OFF";
inline constexpr const char* menu_close = "閉じる";
inline constexpr const char* menu_rename = "ﾌｧｲﾙのﾘﾈｰﾑ [F12]";
inline constexpr const char* menu_open_current_folder = "ｶﾚﾝﾄﾃﾞｨﾚｸﾄﾘを開く";
inline constexpr const char* menu_open_file = "ﾌｧｲﾙを開く";
inline constexpr const char* menu_copy = "MP3ﾌｧｲﾙをｺﾋﾟｰする";
inline constexpr const char* menu_open_copy_folder = "ｺﾋﾟｰ先ﾃﾞｨﾚｸﾄﾘを開く";
inline constexpr const char* menu_mpman = "MPManﾏﾈｰｼﾞｬを起動";
inline constexpr const char* menu_options = "ｵﾌﾟｼｮﾝ";
inline constexpr const char* menu_add_to_playlist = "WinAMPのﾌﾟﾚｲﾘｽﾄに追加";
inline constexpr const char* menu_winamp = "WinAMPを起動";
inline constexpr const char* no_title_or_artist = "曲名もしくはｱｰﾃｨｽﾄ名が入力されていないので処理をｷｬﾝｾﾙしました";
inline constexpr const char* error_head_brackets = "［エラー］";
inline constexpr const char* rename_failed = "のﾘﾈｰﾑに失敗したっす";
inline constexpr const char* rename_failed_why = "他のｱﾌﾟﾘで使用中とか、既に同名のﾌｧｲﾙが存在するとかしません？";
inline constexpr const char* open_mp3_title = "MP3ﾌｧｲﾙを開く";
// The open-file dialog's filter: pairs of name and pattern, ending in an empty name.
inline constexpr char open_mp3_filter[] = "MP3ﾌｧｲﾙ\0*.mp3\0全てのﾌｧｲﾙ\0*\0";
inline constexpr const char* choose_folder_title = "ﾃﾞｨﾚｸﾄﾘを指定して下さい";
inline constexpr const char* copy_failed = "ｺﾋﾟｰに失敗しました";
inline constexpr const char* path_not_storable = "このﾊﾟｽには設定に保存できない文字があります";
inline constexpr const char* program_files = "c:\\program files\\";
inline constexpr const char* winamp_default = "c:\\program files\\winamp\\winamp.exe";
inline constexpr const char* choose_zip = "ZIPﾌｧｲﾙを解凍するｱﾌﾟﾘを指定して下さい";
inline constexpr const char* choose_lzh = "LZHﾌｧｲﾙを解凍するｱﾌﾟﾘを指定して下さい";
inline constexpr const char* choose_jpeg = "JPEGﾌｧｲﾙを解凍するｱﾌﾟﾘを指定して下さい";
inline constexpr const char* choose_mpman = "MPﾏﾈｰｼﾞｬを指定して下さい";
inline constexpr const char* choose_winamp = "WINAMP.EXEを指定して下さい";
inline constexpr char programs_filter[] = "ﾌﾟﾛｸﾞﾗﾑﾌｧｲﾙ\0*.exe\0全てのﾌｧｲﾙ\0*\0";
inline constexpr char mpman_filter[] = "MPMan.EXE\0MPMan.exe\0全てのﾌｧｲﾙ\0*\0";
inline constexpr char winamp_filter[] = "WINAMP.EXE\0winamp.exe\0全てのﾌｧｲﾙ\0*\0";
inline constexpr const char* start_mpman =
    "MPﾏﾈｰｼﾞｬを起動します。よろしいですか？\n\n*** 予め MPManに接続ｹｰﾌﾞﾙを差して、電源を入れておいて下さい ***";
inline constexpr const char* drive_c = "c:\\";
inline constexpr const char* setup_dat = "c:\\Program files\\Accessories\\tagzo\\setup.dat";

} // namespace texts
