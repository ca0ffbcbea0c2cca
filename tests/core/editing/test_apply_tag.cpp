// The apply step with its questions, driven by a scripted user.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "core/formats/apply.h"
#include "core/editing/apply_tag.h"
#include "core/formats/rmp.h"
#include "core/formats/load.h"
#include "core/editing/load_file.h"
#include "core/editing/edit_rules.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_files.h"
#include "tests/support/result_check.h"

using namespace editing;
using testing_files::read_file;
using testing_files::TempDir;
using testing_files::write_file;

namespace {

// What a field of the window gives back for a text it was shown: its text passes UTF-16.
std::string through_utf16(const std::string& cp932) {
    return platform::utf16_to_cp932(platform::cp932_to_utf16(cp932));
}

// Answers the questions from a script; ticks the check box first when told to.
class ScriptedUser : public UserInterface {
public:
    FieldTexts fields;
    std::deque<bool> answers;
    bool tick_box = false;
    std::vector<std::string> asked;
    std::vector<Notice> notices;
    bool apply_enabled = true;
    bool mode_rmp = false;

    bool ask_clear_read_only(int32_t& flag) override { return answer("135", flag); }
    bool ask_convert_to_rmp(int32_t& flag) override { return answer("141", flag); }
    void notice(Notice what, const std::string& detail) override {
        notices.push_back(what);
        notice_detail = detail;
    }
    std::string notice_detail;
    // The ID3v2 tag beside the mode, as last shown.
    void show_id3v2(int major, bool differs) override { v2 = {major, differs}; }
    void show_unicode(size_t field, const std::string& utf8) override { unicode[field] = utf8; }
    std::map<size_t, std::string> unicode;
    std::pair<int, bool> v2{-1, false};
    FieldTexts field_texts() override { return fields; }
    // Shows the texts; the window's change detection runs while its fields are rewritten one
    // by one, which `while_showing` plays.
    void show_texts(const FieldTexts& t) override {
        if (while_showing) while_showing();
        fields = t;
        if (fields_hold_utf16)
            for (const Field& field : k_fields) fields.*field.text = through_utf16(t.*field.text);
    }
    // Fields that hold their texts as the window's do.
    bool fields_hold_utf16 = false;
    std::string read_back(const std::string& shown) override {
        return fields_hold_utf16 ? through_utf16(shown) : shown;
    }
    std::function<void()> while_showing;
    std::optional<uint8_t> genre() override { return chosen_genre; }
    std::optional<uint8_t> chosen_genre;
    // The window runs its change detection while the button is switched off: the session
    // must then hold the applied texts.
    void set_apply_enabled(bool on) override {
        apply_enabled = on;
        if (!on && session)
            differ_when_disabled =
                fields_differ(fields, session->rmp_texts.is_rmp, session->rmp_texts, session->current_tag);
    }
    const Session* session = nullptr;
    bool differ_when_disabled = false;
    void set_mode_label(bool rmp) override { mode_rmp = rmp; }
    void set_field_limits(bool) override {}
    void show_carry_over(bool on) override { carry = on; }
    void hand_over(formats::FileKind kind, const std::string& path) override { handed.emplace_back(kind, path); }
    bool carry = false;
    std::vector<std::pair<formats::FileKind, std::string>> handed;
    // The window stops the preview before a replace and resumes it after; `while_stopped`
    // looks at the file in between.
    bool before_replace(bool new_file) override {
        replaces.push_back(new_file ? "before" : "before in place");
        if (while_stopped) while_stopped();
        return !hold_back;
    }
    bool hold_back = false;
    void after_replace(const std::string& path) override { replaces.push_back("after " + path); }
    std::vector<std::string> replaces;
    std::function<void()> while_stopped;

private:
    bool answer(const char* dialog, int32_t& flag) {
        asked.push_back(dialog);
        if (tick_box) flag = !flag;
        bool a = answers.empty() ? false : answers.front();
        if (!answers.empty()) answers.pop_front();
        return a;
    }
};

std::string record_of(const formats::Tag& t) {
    formats::RecordBytes r = formats::make_record(t);
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}

struct Fixture {
    TempDir dir;
    std::string path = dir.file("song.mp3");
    std::string audio = std::string("\xFF\xFB\x90\x64", 4) + std::string(996, '\x11');
    Session s;
    settings::Settings st = settings::default_settings();
    ScriptedUser ui;

    Fixture() {
        write_file(path, audio + record_of(formats::Tag{"Old", "Artist", "", "", "", 5}));
        s.current_path = path;
        s.file_loaded = true;
        s.modified = true;
        s.current_tag = formats::Tag{"Old", "Artist", "", "", "", 5};
        s.undo_snapshot = s.current_tag;
        ui.fields = {std::string(40, 'T'), "Artist", "", "", ""};
    }
};

} // namespace

namespace {

std::string syncsafe(size_t n) {
    return {static_cast<char>((n >> 21) & 0x7F), static_cast<char>((n >> 14) & 0x7F),
            static_cast<char>((n >> 7) & 0x7F), static_cast<char>(n & 0x7F)};
}
std::string be32(size_t n) {
    return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n)};
}
// A frame of version `major` (3 or 4) and a tag of its frames and `padding` zero bytes.
std::string frame(char major, const std::string& id, const std::string& body) {
    return id + (major == 4 ? syncsafe(body.size()) : be32(body.size())) + std::string(2, '\0') + body;
}
std::string id3v2(char major, const std::string& frames, size_t padding) {
    return std::string("ID3") + major + std::string(2, '\0') + syncsafe(frames.size() + padding) + frames +
           std::string(padding, '\0');
}
std::string utf16(const std::string& cp932) {
    const std::wstring w = platform::cp932_to_utf16(cp932);
    std::string out = "\x01\xFF\xFE";
    for (wchar_t c : w) out += {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
    return out;
}

// A file with an ID3v2.3 tag and no record: a title in UTF-16, an artist marked Latin-1 that
// holds cp932, a year, a picture and a TXXX that must stay byte for byte.
struct V2File {
    TempDir dir;
    std::string path = dir.file("v2.mp3");
    std::string audio = std::string("\xFF\xFB\x90\x64", 4) + std::string(996, '\x11');
    std::string picture = frame(3, "APIC", std::string("\0image/png\0\x03\0", 14) + std::string(300, '\x89'));
    std::string txxx = frame(3, "TXXX", std::string("\0MOOD\0calm", 10));
    std::string artist = frame(3, "TPE1", std::string(1, '\0') + "\x97\x9D\x91\xBD"); // 理多, marked Latin-1
    Session s;
    settings::Settings st = settings::default_settings();
    ScriptedUser ui;

    explicit V2File(size_t padding = 200, const std::string& more = "") {
        write_file(path, id3v2(3, frame(3, "TIT2", utf16("\x90\xAF\x82\xC9")) + artist +
                                      frame(3, "TYER", std::string("\0" "1999", 5)) + picture + txxx + more,
                               padding) +
                             audio);
        ui.session = &s;
    }
    formats::Id3v2Found tag() {
        platform::File file;
        EXPECT_TRUE(file.open(path, platform::File::Mode::read).ok());
        return formats::find_id3v2(file, file.size());
    }
};

} // namespace

TEST(ApplyTag, LongTitleConvertsAfterYes) {
    Fixture f;
    f.ui.answers = {true};
    // The file is still the old one when the window is told to let it go.
    f.ui.while_stopped = [&] { EXPECT_EQ(read_file(f.path).substr(0, 4), "\xFF\xFB\x90\x64"); };
    EXPECT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_EQ(f.ui.asked, (std::vector<std::string>{"141"}));
    EXPECT_EQ(f.ui.replaces, (std::vector<std::string>{"before", "after " + f.path}));
    std::string file = read_file(f.path);
    EXPECT_EQ(file.substr(8, 4), "RMP3");
    EXPECT_EQ(file.substr(file.size() - 128), record_of(formats::Tag{std::string(30, 'T'), "Artist", "", "", "", 5}));
    EXPECT_TRUE(f.s.rmp_texts.is_rmp);
    EXPECT_EQ(f.s.rmp_texts.text[formats::ISFT], "kessa 0.29");
    EXPECT_TRUE(f.ui.mode_rmp);
    EXPECT_FALSE(f.s.modified);
    EXPECT_FALSE(f.ui.apply_enabled);
    EXPECT_EQ(f.s.undo_snapshot.title, std::string(30, 'T'));
}

TEST(ApplyTag, NoKeepsId3WithTheFirst30BytesAndTheBoxFlipsEvenSo) {
    Fixture f;
    f.ui.answers = {false};
    f.ui.tick_box = true;
    EXPECT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_EQ(f.st.no_confirm_rmp, 1);
    EXPECT_EQ(read_file(f.path), f.audio + record_of(formats::Tag{std::string(30, 'T'), "Artist", "", "", "", 5}));
    EXPECT_FALSE(f.s.rmp_texts.is_rmp);
    EXPECT_TRUE(f.ui.replaces.empty()); // the record is written in place: the preview plays on
    // The long title the user kept in the ID3v1 form still stands in its field: it is no new
    // change, and the apply button stays off.
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    EXPECT_FALSE(f.s.modified);
    // The next long text converts without asking.
    f.s.modified = true;
    f.ui.fields.title = std::string(35, 'U');
    EXPECT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_EQ(f.ui.asked.size(), 1u);
    EXPECT_EQ(read_file(f.path).substr(8, 4), "RMP3");
}

TEST(ApplyTag, NothingHappensWithoutAChangeOrOnACdRom) {
    Fixture f;
    std::string before = read_file(f.path);
    f.s.modified = false;
    EXPECT_TRUE(apply_tag(f.s, f.st, f.ui).ok()); // the file holds the fields already
    f.s.modified = true;
    f.s.read_only_media = true;
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui).fault, Fault::read_only);
    EXPECT_EQ(read_file(f.path), before);
    EXPECT_TRUE(f.ui.asked.empty());
}

TEST(ApplyTag, ReadOnlyFileRefusedOrCleared) {
    Fixture f;
    std::string before = read_file(f.path);
    std::string err;
    ASSERT_TRUE(testing_files::noted(platform::set_read_only(f.path, true), err));
    f.ui.fields.title = "short";
    f.ui.answers = {false};
    f.ui.tick_box = true; // ticked, then "No": refused now, no question next time
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui).fault, Fault::read_only);
    EXPECT_EQ(f.ui.notices, (std::vector<Notice>{Notice::apply_cancelled}));
    EXPECT_EQ(read_file(f.path), before);
    EXPECT_TRUE(f.s.modified);
    EXPECT_EQ(f.st.no_confirm_readonly, 1);
    EXPECT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_EQ(f.ui.asked, (std::vector<std::string>{"135"}));
    EXPECT_FALSE(platform::is_read_only(f.path));
    EXPECT_EQ(read_file(f.path), f.audio + record_of(formats::Tag{"short", "Artist", "", "", "", 5}));
}

TEST(ApplyTag, AFileThatCannotBeWrittenIsNotApplied) {
    Fixture f;
    f.s.current_path = f.dir.file("removed.mp3");
    f.ui.fields.title = "short";
    formats::Tag undo = f.s.undo_snapshot;
    Result r = apply_tag(f.s, f.st, f.ui);
    EXPECT_EQ(r.fault, Fault::write_failed);
    EXPECT_FALSE(r.detail.empty());
    EXPECT_EQ(f.ui.notices, (std::vector<Notice>{Notice::apply_failed}));
    EXPECT_TRUE(f.s.modified);
    EXPECT_TRUE(f.ui.apply_enabled);
    EXPECT_EQ(f.s.undo_snapshot, undo);
    // A replace held back by the interface (a script's journal that cannot take the old file)
    // writes nothing, in the RMP form and into an ID3v2 tag alike.
    Fixture held;
    held.ui.answers = {true};
    held.ui.hold_back = true;
    const std::string before = read_file(held.path);
    EXPECT_EQ(apply_tag(held.s, held.st, held.ui).fault, Fault::write_failed);
    EXPECT_EQ(read_file(held.path), before);
    V2File tagged;
    const std::string tagged_before = read_file(tagged.path);
    ASSERT_TRUE(open_file(tagged.s, tagged.st, tagged.ui, tagged.path).ok());
    tagged.ui.fields.title = "T";
    tagged.s.modified = true;
    tagged.ui.hold_back = true;
    EXPECT_EQ(apply_tag(tagged.s, tagged.st, tagged.ui).fault, Fault::write_failed);
    EXPECT_EQ(read_file(tagged.path), tagged_before);
}

TEST(ApplyTag, AnRmpFileIsRewrittenEvenWithShortTexts) {
    Fixture f;
    f.ui.session = &f.s;
    f.ui.answers = {true};
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_FALSE(f.ui.differ_when_disabled);
    f.s.modified = true;
    f.ui.fields = {"short", "Artist", "Album", "1999", "c"};
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_FALSE(f.ui.differ_when_disabled);
    EXPECT_EQ(f.ui.asked.size(), 1u);    // no question for a file already in the form
    EXPECT_EQ(f.ui.replaces.size(), 4u); // a rewrite replaces the file too
    platform::File file;
    std::string err;
    ASSERT_TRUE(testing_files::noted(file.open(f.path, platform::File::Mode::read), err));
    formats::RmpTexts back;
    ASSERT_TRUE(formats::read_rmp_texts(file, back));
    EXPECT_EQ(back.text[formats::INAM], "short");
    EXPECT_EQ(back.text[formats::IPRD], "Album");
    EXPECT_EQ(back.text[formats::ISFT], "kessa 0.29");
}

TEST(ApplyTag, TheCallersLockStaysHeldThroughTheWrite) {
    Fixture f;
    platform::WriteLock lock;
    lock.hold(f.path);
    ASSERT_TRUE(lock.held());
    // Another writer of the file waits until the caller lets go, whatever path names it: here
    // through "." and, on Windows, in capitals. Then it takes the new file the apply put in
    // place.
#ifdef _WIN32
    const std::string other = f.dir.file(".\\SONG.MP3");
#else
    const std::string other = f.dir.file("./song.mp3");
#endif
    std::atomic<bool> taken{false};
    std::thread writer([&] {
        platform::WriteLock second;
        second.hold(other);
        taken = second.held();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(taken);
    f.ui.answers = {true};
    // A second lock taken here on the same file would wait for ever on the caller's.
    EXPECT_TRUE(apply_tag(f.s, f.st, f.ui, lock).ok());
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(read_file(f.path).substr(8, 4), "RMP3");
    EXPECT_FALSE(taken);
    EXPECT_TRUE(lock.release());
    writer.join();
    EXPECT_TRUE(taken);

    // Loaded and written through a lock taken for writing: on POSIX through the one file it
    // holds, whose record is there before it lets go; on Windows, which holds no file, as above.
    Fixture g;
    lock.hold(g.path, true);
    ASSERT_TRUE(lock.held());
#ifndef _WIN32
    ASSERT_TRUE(lock.writable() && lock.file());
#endif
    ASSERT_TRUE(open_file(g.s, g.st, g.ui, g.path, &lock).ok());
    EXPECT_EQ(g.s.current_tag.title, "Old");
    g.ui.fields.title = "New";
    g.ui.fields.artist = "Artist";
    g.s.modified = true;
    EXPECT_TRUE(apply_tag(g.s, g.st, g.ui, lock).ok());
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(read_file(g.path), g.audio + record_of(formats::Tag{"New", "Artist", "", "", "", 5}));
    EXPECT_TRUE(lock.release());
    EXPECT_FALSE(lock.held());
}

TEST(LoadFile, NoMp3AndUnopenableFilesLeaveTheSessionAlone) {
    Fixture f;
    Session before = f.s;
    std::string text = f.dir.file("notes.txt");
    write_file(text, "plain words");
    EXPECT_EQ(load_file(f.s, f.st, f.ui, text).fault, Fault::not_mp3);
    Result gone = load_file(f.s, f.st, f.ui, f.dir.file("gone.mp3"));
    EXPECT_EQ(gone.fault, Fault::cannot_open);
    EXPECT_FALSE(gone.detail.empty());
    std::string zip = f.dir.file("a.zip");
    write_file(zip, "PK\x03\x04");
    EXPECT_EQ(load_file(f.s, f.st, f.ui, zip).fault, Fault::handed_over);
    // An archive or a picture is handed to its program; only it, and without a notice.
    std::string jpeg = f.dir.file("photo.mp3.jpg");
    write_file(jpeg, "\xFF\xD8\xFF\xE0 JFIF");
    EXPECT_EQ(load_file(f.s, f.st, f.ui, jpeg).fault, Fault::handed_over);
    using Handed = std::pair<formats::FileKind, std::string>;
    EXPECT_EQ(f.ui.handed, (std::vector<Handed>{{formats::FileKind::zip, zip}, {formats::FileKind::jpeg, jpeg}}));
    EXPECT_EQ(f.ui.notices, (std::vector<Notice>{Notice::not_mp3, Notice::cannot_open}));
    EXPECT_EQ(f.s.current_tag, before.current_tag);
    EXPECT_EQ(f.s.file_loaded, before.file_loaded);
}

TEST(LoadFile, CarryOverAcrossFilesWithAndWithoutRecords) {
    Fixture f;
    f.s.carry_over = f.ui.carry = true;
    f.s.current_tag = formats::Tag{"first", "Carried", "Album", "1999", "Note", 4};
    f.s.undo_snapshot = f.s.current_tag;
    std::string bare = f.dir.file("bare.mp3");
    write_file(bare, std::string(500, 'a'));
    ASSERT_TRUE(load_file(f.s, f.st, f.ui, bare).ok());
    EXPECT_EQ(f.s.current_tag, (formats::Tag{"", "Carried", "Album", "1999", "Note", 4}));
    EXPECT_TRUE(f.ui.carry);
    std::string own = f.dir.file("own.mp3");
    write_file(own, std::string(500, 'a') + record_of(formats::Tag{"t", "Someone", "", "", "", 4}));
    ASSERT_TRUE(load_file(f.s, f.st, f.ui, own).ok());
    EXPECT_FALSE(f.ui.carry); // the file's own artist ends carry-over mode
    EXPECT_FALSE(f.s.carry_over);
    EXPECT_EQ(f.s.current_tag.artist, "Someone" + std::string(23, ' '));
}

TEST(LoadFile, RmpTextsOnlyFromAWritableFileAndWhileEnabled) {
    Fixture f;
    f.ui.answers = {true};
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok()); // converts the file
    Session fresh;
    Result clean = load_file(fresh, f.st, f.ui, f.path);
    ASSERT_TRUE(clean.ok());
    EXPECT_TRUE(clean.warnings.empty());
    EXPECT_TRUE(fresh.rmp_texts.is_rmp);
    EXPECT_EQ(fresh.rmp_texts.text[formats::INAM], std::string(40, 'T'));
    EXPECT_TRUE(f.ui.mode_rmp);
    // A data chunk that claims more than the file holds is named in the warnings.
    std::string damaged = read_file(f.path);
    damaged[19] = '\x0F';
    const std::string damaged_path = f.dir.file("damaged.mp3");
    write_file(damaged_path, damaged);
    Session other;
    Result warned = load_file(other, f.st, f.ui, damaged_path);
    ASSERT_TRUE(warned.ok());
    ASSERT_EQ(warned.warnings.size(), 1u);
    EXPECT_NE(warned.warnings[0].find("data chunk claims"), std::string::npos) << warned.warnings[0];
    f.st.rmp_enabled = 0;
    ASSERT_TRUE(load_file(fresh, f.st, f.ui, f.path).ok());
    EXPECT_FALSE(fresh.rmp_texts.is_rmp);
    EXPECT_FALSE(f.ui.mode_rmp);
    f.st.rmp_enabled = 1;
    std::string err;
    {
        // The file gets a copyright holder of its own.
        platform::File in;
        ASSERT_TRUE(testing_files::noted(in.open(f.path, platform::File::Mode::read), err)) << err;
        formats::RmpPlan plan =
            formats::plan_rmp(in, true, formats::Tag{std::string(40, 'T'), "Artist", "", "", "", 5}, "x");
        plan.texts[formats::ICOP] = "Holder";
        platform::ReplacingWriter out;
        ASSERT_TRUE(testing_files::noted(out.begin(f.path), err) &&
                    testing_files::noted(formats::write_rmp_file(out, in, plan), err))
            << err;
        static_cast<void>(in.close()); // only read from
        ASSERT_TRUE(testing_files::noted(out.commit(), err)) << err;
    }
    ASSERT_TRUE(testing_files::noted(platform::set_read_only(f.path, true), err));
    ASSERT_TRUE(load_file(fresh, f.st, f.ui, f.path).ok());
    EXPECT_FALSE(fresh.rmp_texts.is_rmp);
    EXPECT_FALSE(fresh.read_only_media); // read-only on a hard disk: the apply offers to clear it
    EXPECT_EQ(fresh.current_tag.title, std::string(30, 'T'));
    // A long title applied with consent rewrites the file in the RMP form, which keeps its
    // other texts; the session then holds them as the file does.
    fresh.current_path = f.path;
    fresh.modified = true;
    f.ui.fields = {std::string(40, 'V'), "Artist", "", "", ""};
    f.ui.answers = {true};
    ASSERT_TRUE(apply_tag(fresh, f.st, f.ui).ok());
    EXPECT_EQ(f.ui.asked.back(), "135");
    platform::File written;
    ASSERT_TRUE(testing_files::noted(written.open(f.path, platform::File::Mode::read), err)) << err;
    formats::RmpTexts back;
    ASSERT_TRUE(formats::read_rmp_texts(written, back));
    EXPECT_EQ(back.text[formats::ICOP], "Holder");
    EXPECT_TRUE(fresh.rmp_texts.is_rmp);
    EXPECT_EQ(fresh.rmp_texts.text, back.text);
}

TEST(ApplyTag, AnRmpFileCutAfterItsDataReadsBackWhatWasWritten) {
    Fixture f;
    f.ui.answers = {true};
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok()); // the RMP form, with a 40-byte title
    const std::string whole = read_file(f.path);
    ASSERT_EQ(whole.substr(12, 4), "data");
    const size_t data_end = 20 + (static_cast<unsigned char>(whole[16]) | static_cast<unsigned char>(whole[17]) << 8 |
                                  static_cast<unsigned char>(whole[18]) << 16);
    // Cut anywhere in the list header after "data": setting a short title must read back as
    // that title, whatever the cut left.
    for (size_t cut = 0; cut <= 12; ++cut) {
        const std::string path = f.dir.file("cut" + std::to_string(cut) + ".mp3");
        write_file(path, whole.substr(0, data_end + cut));
        platform::File in;
        std::string err;
        ASSERT_TRUE(testing_files::noted(in.open(path, platform::File::Mode::read), err)) << err;
        formats::ShownTexts before = formats::open_for_editing(in, true);
        bool file_is_rmp = formats::is_rmp_file(in);
        static_cast<void>(in.close()); // only read from
        formats::Tag edited{"X", "", "", "", "", 255};
        formats::ApplyForm form = formats::decide_apply_form(edited, true, before.rmp.is_rmp, file_is_rmp);
        platform::Result r = formats::apply_tag_to_file(path, edited, form, "kessa 0.29");
        ASSERT_TRUE(r.ok()) << cut << ": " << r.detail;
        ASSERT_TRUE(testing_files::noted(in.open(path, platform::File::Mode::read), err)) << err;
        EXPECT_EQ(formats::open_for_editing(in, true).title, "X") << "cut " << cut;
    }
}

TEST(Session, OpenShowsTheFileAndChangesAreToldAgainstIt) {
    Fixture f;
    f.s.modified = false;
    f.ui.fields = {"typed", "typed", "", "", ""};
    // The window's change detection runs while the fields are rewritten: the open must end
    // with nothing modified all the same.
    f.ui.while_showing = [&] { static_cast<void>(detect_change(f.s, f.st, f.ui)); };
    ASSERT_TRUE(open_file(f.s, f.st, f.ui, f.path).ok());
    f.ui.while_showing = nullptr;
    EXPECT_EQ(f.s.current_path, f.path);
    EXPECT_EQ(f.s.current_tag, (formats::Tag{"Old", "Artist", "", "", "", 5})); // trimmed
    EXPECT_EQ(f.s.undo_snapshot, f.s.current_tag);
    EXPECT_FALSE(f.s.modified);
    EXPECT_FALSE(f.ui.apply_enabled);
    EXPECT_EQ(f.ui.fields.title, "Old");
    EXPECT_EQ(f.ui.fields.artist, "Artist");
    // Letter case is no change; another text is, and is told once.
    f.ui.fields.title = "OLD";
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    EXPECT_FALSE(f.s.modified);
    f.ui.fields.title = "New";
    EXPECT_TRUE(detect_change(f.s, f.st, f.ui));
    EXPECT_TRUE(f.s.modified);
    EXPECT_TRUE(f.ui.apply_enabled);
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    // A file that does not open leaves the session as it was.
    EXPECT_EQ(open_file(f.s, f.st, f.ui, f.dir.file("gone.mp3")).fault, Fault::cannot_open);
    EXPECT_EQ(f.s.current_path, f.path);
    EXPECT_TRUE(f.s.modified);
    // On read-only media nothing counts as a change.
    f.s.modified = false;
    f.s.read_only_media = true;
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));

    // Bytes that are no cp932 text (a Latin-1 letter, 0x80, 0xA0, 0xFF, a lead byte before a
    // space) and a duplicate code come back from the window's fields as other bytes. A field
    // that gives back what it was shown is no change, and an apply of another field writes
    // its bytes as they were; so do the history's entry and undo.
    f.s.read_only_media = false;
    f.ui.fields_hold_utf16 = true;
    const std::string odd = f.dir.file("odd.mp3");
    const formats::Tag odd_tag{"Song", "Beyonc\xE9", "\x80\xA0\xFF", "", "\x87\x90 \x81 x", 5};
    write_file(odd, f.audio + record_of(odd_tag));
    ASSERT_TRUE(open_file(f.s, f.st, f.ui, odd).ok());
    EXPECT_NE(f.ui.fields.artist, odd_tag.artist);
    EXPECT_NE(f.ui.fields.comment, odd_tag.comment);
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    EXPECT_FALSE(f.ui.apply_enabled);
    f.ui.fields.title = "New";
    EXPECT_TRUE(detect_change(f.s, f.st, f.ui));
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    formats::Tag applied = odd_tag;
    applied.title = "New";
    EXPECT_EQ(read_file(odd).substr(f.audio.size()), record_of(applied));
    EXPECT_EQ(f.s.current_tag, applied);
    EXPECT_EQ(f.s.undo_snapshot, applied);
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    f.ui.fields.artist = "typed";
    EXPECT_TRUE(detect_change(f.s, f.st, f.ui));
    undo(f.s, f.ui);
    EXPECT_EQ(f.s.current_tag, applied);
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    // The same for the texts of the RMP form. Only an edited field is converted back.
    f.ui.fields.title = std::string(40, 'L');
    f.ui.fields.album = through_utf16(odd_tag.album) + "!";
    ASSERT_TRUE(detect_change(f.s, f.st, f.ui));
    f.ui.answers = {true};
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    ASSERT_TRUE(open_file(f.s, f.st, f.ui, odd).ok());
    ASSERT_TRUE(f.s.rmp_texts.is_rmp);
    EXPECT_EQ(f.s.rmp_texts.text[formats::IART], odd_tag.artist);
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    f.ui.fields.title = std::string(41, 'L');
    ASSERT_TRUE(detect_change(f.s, f.st, f.ui));
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    platform::File back_file;
    std::string err;
    ASSERT_TRUE(testing_files::noted(back_file.open(odd, platform::File::Mode::read), err));
    formats::RmpTexts back;
    ASSERT_TRUE(formats::read_rmp_texts(back_file, back));
    EXPECT_EQ(back.text[formats::IART], odd_tag.artist);
    EXPECT_EQ(back.text[formats::ICMT], odd_tag.comment);
    EXPECT_EQ(back.text[formats::IPRD], through_utf16(odd_tag.album) + "!");
}

TEST(Session, UndoShowsTheSnapshotAgainAndEndsCarryOver) {
    Fixture f;
    f.s.modified = false;
    ASSERT_TRUE(open_file(f.s, f.st, f.ui, f.path).ok());
    f.ui.fields.title = "typed";
    f.ui.fields.artist = "typed too";
    ASSERT_TRUE(detect_change(f.s, f.st, f.ui));
    f.s.carry_over = f.ui.carry = true;
    f.ui.while_showing = [&] { static_cast<void>(detect_change(f.s, f.st, f.ui)); };
    undo(f.s, f.ui);
    EXPECT_EQ(f.ui.fields.title, "Old");
    EXPECT_EQ(f.ui.fields.artist, "Artist");
    EXPECT_EQ(f.s.current_tag, f.s.undo_snapshot);
    EXPECT_FALSE(f.s.modified);
    EXPECT_FALSE(f.ui.apply_enabled);
    EXPECT_FALSE(f.ui.carry);
    EXPECT_FALSE(f.s.carry_over);
    // Without a file the fields are emptied and the genre stays; nothing counts as a change.
    Session none;
    none.undo_snapshot = formats::Tag{"a", "b", "", "", "", 9};
    undo(none, f.ui);
    EXPECT_EQ(none.current_tag, (formats::Tag{"", "", "", "", "", 9}));
    EXPECT_EQ(f.ui.fields.title, "");
    f.ui.fields.title = "typed";
    EXPECT_FALSE(detect_change(none, f.st, f.ui));

    // The window coming up shows the start file's trimmed texts, or empty fields and the
    // genre without one, and takes what it shows as the snapshot.
    Session start;
    start.file_loaded = true;
    start.current_tag = formats::Tag{"Title" + std::string(25, ' '), "Artist", "", "", "", 3}; // a full field
    window_opened(start, f.st, f.ui);
    EXPECT_EQ(f.ui.fields.title, "Title");
    EXPECT_EQ(start.undo_snapshot, (formats::Tag{"Title", "Artist", "", "", "", 3}));
    EXPECT_TRUE(start.window_ready);
    start.file_loaded = false;
    window_opened(start, f.st, f.ui);
    EXPECT_EQ(f.ui.fields.title, "");
    EXPECT_EQ(start.undo_snapshot, (formats::Tag{"", "", "", "", "", 3}));
    renamed(start, "renamed.mp3");
    EXPECT_EQ(start.current_path, "renamed.mp3");
}

TEST(Session, TheGenreAndTextsLongerThanTheRecordAreChanges) {
    Fixture f;
    const std::string full = f.dir.file("full.mp3");
    write_file(full, f.audio + record_of(formats::Tag{std::string(30, 'x'), "", "", "", "", 5}));
    f.s.modified = false;
    ASSERT_TRUE(open_file(f.s, f.st, f.ui, full).ok());
    f.ui.chosen_genre = 5;
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    // The record holds the first 30 bytes of a longer title: no change in the ID3v1 form, but
    // one while long texts are allowed, since the apply writes the whole title.
    f.ui.fields.title = std::string(40, 'x');
    f.st.rmp_enabled = 0;
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    f.st.rmp_enabled = 1;
    EXPECT_TRUE(detect_change(f.s, f.st, f.ui));
    f.ui.answers = {true};
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_EQ(read_file(full).substr(8, 4), "RMP3");
    EXPECT_EQ(f.s.rmp_texts.text[formats::INAM], std::string(40, 'x'));
    // A genre chosen is a change of its own and reaches the record.
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    f.ui.chosen_genre = 7;
    EXPECT_TRUE(detect_change(f.s, f.st, f.ui));
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_EQ(read_file(full).back(), '\x07');
    EXPECT_EQ(f.s.current_tag.genre, 7);
    EXPECT_EQ(f.s.undo_snapshot.genre, 7);
}

TEST(Id3v2, TheFieldsShowTheTagAndAnApplyWritesTheChangedFieldsIntoIt) {
    V2File f;
    const std::string before = read_file(f.path);
    ASSERT_TRUE(open_file(f.s, f.st, f.ui, f.path).ok());
    // 星に and the mis-marked artist read as the Japanese they are; the file stays as it was.
    EXPECT_EQ(f.ui.fields.title, "\x90\xAF\x82\xC9");
    EXPECT_EQ(f.ui.fields.artist, "\x97\x9D\x91\xBD");
    EXPECT_EQ(f.ui.fields.year, "1999");
    EXPECT_EQ(f.ui.v2, (std::pair<int, bool>{3, false}));
    EXPECT_EQ(read_file(f.path), before);
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui));
    EXPECT_FALSE(f.ui.apply_enabled);

    // A title longer than the record goes whole into the tag, in place (its padding takes it),
    // with no question and no RMP form; the record holds its first 30 bytes.
    const std::string title = std::string(20, 'A') + "\x97\xAC\x82\xEA\x90\xAF" + std::string(14, 'B');
    f.ui.fields.title = title;
    ASSERT_TRUE(detect_change(f.s, f.st, f.ui));
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_TRUE(f.ui.asked.empty());
    EXPECT_TRUE(f.ui.notices.empty());
    // Said as in place: a journal then copies the old bytes, as no old file stays to be kept.
    EXPECT_EQ(f.ui.replaces.front(), "before in place");
    f.ui.replaces.clear();
    std::string file = read_file(f.path);
    ASSERT_EQ(file.size(), before.size() + 128);
    const size_t tag_size = before.size() - f.audio.size();
    EXPECT_EQ(file.substr(tag_size, f.audio.size()), f.audio);
    EXPECT_EQ(file.substr(file.size() - 128),
              record_of(formats::Tag{title.substr(0, 30), "\x97\x9D\x91\xBD", "", "1999", "", 255}));
    formats::Id3v2Found tag = f.tag();
    EXPECT_EQ(tag.major, 3);
    EXPECT_EQ(tag.texts.title, platform::cp932_to_utf8(title));
    // Every frame the user did not change, byte for byte: the mis-marked artist stays as it was.
    for (const std::string& kept : {f.artist, f.picture, f.txxx}) EXPECT_NE(file.find(kept), std::string::npos);
    EXPECT_NE(file.find(frame(3, "TIT2", utf16(title))), std::string::npos);
    EXPECT_FALSE(f.s.modified);
    EXPECT_FALSE(detect_change(f.s, f.st, f.ui)); // the long title is what the file holds now

    // A field emptied takes its frame away; a tag that outgrows its room goes into a new file.
    f.s.modified = true;
    f.ui.fields.artist = "";
    f.ui.fields.comment = std::string(300, 'c').substr(0, 255);
    ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
    EXPECT_EQ(f.ui.replaces.front(), "before");
    file = read_file(f.path);
    tag = f.tag();
    EXPECT_GT(tag.size, tag_size);
    EXPECT_EQ(file.substr(static_cast<size_t>(tag.size), f.audio.size()), f.audio);
    EXPECT_EQ(file.size(), tag.size + f.audio.size() + 128);
    EXPECT_EQ(std::tie(tag.texts.title, tag.texts.artist, tag.texts.comment),
              std::make_tuple(platform::cp932_to_utf8(title), std::string(), std::string(255, 'c')));
    EXPECT_EQ(file.find("TPE1"), std::string::npos);
    for (const std::string& kept : {f.picture, f.txxx}) EXPECT_NE(file.find(kept), std::string::npos);
    EXPECT_EQ(f.s.id3v2_texts.comment, std::string(255, 'c'));

    // Opened again, the record's texts show; the tag holds them whole, so nothing differs.
    ASSERT_TRUE(open_file(f.s, f.st, f.ui, f.path).ok());
    EXPECT_EQ(f.ui.fields.title, title.substr(0, 30));
    EXPECT_EQ(f.ui.v2, (std::pair<int, bool>{3, false}));
    // Where the tag says otherwise than the record, the mode says so.
    formats::Tag other{"Other", "", "", "1999", "", 255};
    file.replace(file.size() - 128, 128, record_of(other));
    write_file(f.path, file);
    ASSERT_TRUE(open_file(f.s, f.st, f.ui, f.path).ok());
    EXPECT_EQ(f.ui.v2, (std::pair<int, bool>{3, true}));
    // So does the window opened on the file at start.
    Session start;
    f.ui.v2 = {-1, false};
    ASSERT_TRUE(load_file(start, f.st, f.ui, f.path).ok());
    start.current_path = f.path;
    window_opened(start, f.st, f.ui);
    EXPECT_EQ(f.ui.v2, (std::pair<int, bool>{3, true}));
}

TEST(Id3v2, Version4TheRmpFormAndATagThatCannotBeWritten) {
    // 2.4 takes its texts in UTF-8; the year keeps only what the user typed.
    {
        TempDir dir;
        const std::string path = dir.file("v24.mp3");
        const std::string audio(700, '\x22');
        const std::string lyrics = frame(4, "USLT", std::string("\3jpn\0words", 9));
        write_file(path, id3v2(4, frame(4, "TIT2", "\3\xE6\x98\x9F") + frame(4, "TDRC", "\3" "2001-05-01") + lyrics, 0) +
                             audio);
        Session s;
        settings::Settings st = settings::default_settings();
        ScriptedUser ui;
        ASSERT_TRUE(open_file(s, st, ui, path).ok());
        EXPECT_EQ(std::tie(ui.fields.title, ui.fields.year), std::make_tuple("\x90\xAF", "2001"));
        EXPECT_TRUE(ui.unicode.empty());
        ui.fields.year = "2002";
        s.modified = true;
        ASSERT_TRUE(apply_tag(s, st, ui).ok());
        const std::string file = read_file(path);
        EXPECT_NE(file.find(frame(4, "TDRC", "\3" "2002")), std::string::npos);
        EXPECT_NE(file.find(frame(4, "TIT2", "\3\xE6\x98\x9F")), std::string::npos); // untouched
        EXPECT_NE(file.find(lyrics), std::string::npos);
        EXPECT_EQ(file.substr(file.size() - 128 - audio.size(), audio.size()), audio);
    }
    // A text with characters code page 932 lacks shows as it is, and stands for the tag's text
    // while the field is left alone: an apply of another field keeps its frame.
    {
        TempDir dir;
        const std::string path = dir.file("cafe.mp3");
        const std::string title = frame(4, "TIT2", "\3Caf\xC3\xA9 \xE2\x98\x95");
        write_file(path, id3v2(4, title, 64) + std::string(700, '\x22'));
        Session s;
        settings::Settings st = settings::default_settings();
        ScriptedUser ui;
        ASSERT_TRUE(open_file(s, st, ui, path).ok());
        EXPECT_EQ(ui.fields.title, "Caf? ?");
        EXPECT_EQ(ui.unicode, (std::map<size_t, std::string>{{0, "Caf\xC3\xA9 \xE2\x98\x95"}}));
        EXPECT_FALSE(detect_change(s, st, ui));
        ui.fields.artist = "A";
        ASSERT_TRUE(detect_change(s, st, ui));
        ASSERT_TRUE(apply_tag(s, st, ui).ok());
        EXPECT_NE(read_file(path).find(title), std::string::npos);
        ui.unicode.clear();
        undo(s, ui);
        EXPECT_EQ(ui.unicode.size(), 1u); // still the tag's own text
    }
    // A file already in the RMP form: the tag inside the data chunk takes the edit too.
    {
        V2File f;
        // No apply converts a file that has a tag: the writer makes the RMP form itself here.
        ASSERT_TRUE(formats::apply_tag_to_file(f.path, formats::Tag{"T", "", "", "", "", 255},
                                               formats::ApplyForm::convert, "kessa")
                        .ok());
        ASSERT_TRUE(open_file(f.s, f.st, f.ui, f.path).ok());
        ASSERT_TRUE(f.s.rmp_texts.is_rmp);
        EXPECT_EQ(f.ui.v2.first, 3);
        f.ui.fields.album = "\x89\xCC"; // 歌
        f.s.modified = true;
        ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
        platform::File file;
        ASSERT_TRUE(file.open(f.path, platform::File::Mode::read).ok());
        const formats::RmpLayout lay = formats::walk_rmp(file);
        EXPECT_TRUE(lay.warnings.empty());
        const formats::Id3v2Found tag = formats::read_id3v2(file, lay.stream.offset, lay.stream.length);
        EXPECT_EQ(std::tie(tag.texts.album, tag.texts.title), std::make_tuple("\xE6\xAD\x8C", "\xE6\x98\x9F\xE3\x81\xAB"));
        const std::string bytes = read_file(f.path);
        EXPECT_EQ(bytes.substr(static_cast<size_t>(lay.stream.offset + tag.size), f.audio.size()), f.audio);
        EXPECT_NE(bytes.find(f.picture), std::string::npos);
    }
    // A damaged tag is left as it was: the record is written, and the user is told.
    {
        V2File f(0, "TALB" + be32(5000) + std::string(2, '\0') + "x");
        const std::string before = read_file(f.path);
        ASSERT_TRUE(open_file(f.s, f.st, f.ui, f.path).ok());
        f.ui.fields.title = "New";
        f.s.modified = true;
        ASSERT_TRUE(apply_tag(f.s, f.st, f.ui).ok());
        EXPECT_EQ(f.ui.notices, (std::vector<Notice>{Notice::id3v2_left}));
        EXPECT_NE(f.ui.notice_detail.find("damaged"), std::string::npos);
        EXPECT_EQ(read_file(f.path).substr(0, before.size()), before);
    }
}
