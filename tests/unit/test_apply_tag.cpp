// The apply step with its questions, driven by a scripted user.
#include <gtest/gtest.h>

#include <deque>

#include "editor/tags/apply.h"
#include "editor/tags/apply_tag.h"
#include "editor/tags/rmp.h"
#include "editor/tags/load.h"
#include "editor/tags/load_file.h"
#include "editor/window/edit_rules.h"
#include "platform/file.h"
#include "tests/unit/test_files.h"

using namespace editing;
using testing_files::read_file;
using testing_files::TempDir;
using testing_files::write_file;

namespace {

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
    void notice(Notice what, const std::string&) override { notices.push_back(what); }
    FieldTexts field_texts() override { return fields; }
    // The window runs its change detection while the button is switched off: the session
    // must then hold the applied texts.
    void set_apply_enabled(bool on) override {
        apply_enabled = on;
        if (!on && session) differ_when_disabled = fields_differ(fields, session->rmp_texts.is_rmp, session->rmp_texts,
                                                                 session->current_tag);
    }
    const Session* session = nullptr;
    bool differ_when_disabled = false;
    void set_mode_label(bool rmp) override { mode_rmp = rmp; }
    void set_field_limits(bool) override {}
    bool carry_over_on() override { return carry; }
    void end_carry_over() override { carry = false; }
    void hand_over(tags::FileKind kind, const std::string& path) override { handed.emplace_back(kind, path); }
    bool carry = false;
    std::vector<std::pair<tags::FileKind, std::string>> handed;

private:
    bool answer(const char* dialog, int32_t& flag) {
        asked.push_back(dialog);
        if (tick_box) flag = !flag;
        bool a = answers.empty() ? false : answers.front();
        if (!answers.empty()) answers.pop_front();
        return a;
    }
};

std::string record_of(const tags::Tag& t) {
    tags::RecordBytes r = tags::make_record(t);
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
        write_file(path, audio + record_of(tags::Tag{"Old", "Artist", "", "", "", 5}));
        s.current_path = path;
        s.file_loaded = true;
        s.modified = true;
        s.current_tag = tags::Tag{"Old", "Artist", "", "", "", 5};
        s.undo_snapshot = s.current_tag;
        ui.fields = {std::string(40, 'T'), "Artist", "", "", ""};
    }
};

} // namespace

TEST(ApplyTag, LongTitleConvertsAfterYes) {
    Fixture f;
    f.ui.answers = {true};
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui), 1);
    EXPECT_EQ(f.ui.asked, (std::vector<std::string>{"141"}));
    std::string file = read_file(f.path);
    EXPECT_EQ(file.substr(8, 4), "RMP3");
    EXPECT_EQ(file.substr(file.size() - 128), record_of(tags::Tag{std::string(30, 'T'), "Artist", "", "", "", 5}));
    EXPECT_TRUE(f.s.rmp_texts.is_rmp);
    EXPECT_EQ(f.s.rmp_texts.text[tags::ISFT], "kessa 0.29");
    EXPECT_TRUE(f.ui.mode_rmp);
    EXPECT_FALSE(f.s.modified);
    EXPECT_FALSE(f.ui.apply_enabled);
    EXPECT_EQ(f.s.undo_snapshot.title, std::string(30, 'T'));
}

TEST(ApplyTag, NoKeepsId3WithTheFirst30BytesAndTheBoxFlipsEvenSo) {
    Fixture f;
    f.ui.answers = {false};
    f.ui.tick_box = true;
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui), 1);
    EXPECT_EQ(f.st.no_confirm_rmp, 1);
    EXPECT_EQ(read_file(f.path), f.audio + record_of(tags::Tag{std::string(30, 'T'), "Artist", "", "", "", 5}));
    EXPECT_FALSE(f.s.rmp_texts.is_rmp);
    // The next long text converts without asking.
    f.s.modified = true;
    f.ui.fields.title = std::string(35, 'U');
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui), 1);
    EXPECT_EQ(f.ui.asked.size(), 1u);
    EXPECT_EQ(read_file(f.path).substr(8, 4), "RMP3");
}

TEST(ApplyTag, NothingHappensWithoutAChangeOrOnACdRom) {
    Fixture f;
    std::string before = read_file(f.path);
    f.s.modified = false;
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui), 0);
    f.s.modified = true;
    f.s.read_only_media = true;
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui), 0);
    EXPECT_EQ(read_file(f.path), before);
    EXPECT_TRUE(f.ui.asked.empty());
}

TEST(ApplyTag, ReadOnlyFileRefusedOrCleared) {
    Fixture f;
    std::string before = read_file(f.path);
    std::string err;
    ASSERT_TRUE(platform::set_read_only(f.path, true, err));
    f.ui.fields.title = "short";
    f.ui.answers = {false};
    f.ui.tick_box = true;  // ticked, then "No": refused now, no question next time
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui), 0);
    EXPECT_EQ(f.ui.notices, (std::vector<Notice>{Notice::apply_cancelled}));
    EXPECT_EQ(read_file(f.path), before);
    EXPECT_TRUE(f.s.modified);
    EXPECT_EQ(f.st.no_confirm_readonly, 1);
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui), 1);
    EXPECT_EQ(f.ui.asked, (std::vector<std::string>{"135"}));
    EXPECT_FALSE(platform::is_read_only(f.path));
    EXPECT_EQ(read_file(f.path), f.audio + record_of(tags::Tag{"short", "Artist", "", "", "", 5}));
}

TEST(ApplyTag, AFileThatCannotBeWrittenIsNotApplied) {
    Fixture f;
    f.s.current_path = f.dir.file("removed.mp3");
    f.ui.fields.title = "short";
    tags::Tag undo = f.s.undo_snapshot;
    EXPECT_EQ(apply_tag(f.s, f.st, f.ui), 0);
    EXPECT_EQ(f.ui.notices, (std::vector<Notice>{Notice::apply_failed}));
    EXPECT_TRUE(f.s.modified);
    EXPECT_TRUE(f.ui.apply_enabled);
    EXPECT_EQ(f.s.undo_snapshot, undo);
}

TEST(ApplyTag, AnRmpFileIsRewrittenEvenWithShortTexts) {
    Fixture f;
    f.ui.session = &f.s;
    f.ui.answers = {true};
    ASSERT_EQ(apply_tag(f.s, f.st, f.ui), 1);
    EXPECT_FALSE(f.ui.differ_when_disabled);
    f.s.modified = true;
    f.ui.fields = {"short", "Artist", "Album", "1999", "c"};
    ASSERT_EQ(apply_tag(f.s, f.st, f.ui), 1);
    EXPECT_FALSE(f.ui.differ_when_disabled);
    EXPECT_EQ(f.ui.asked.size(), 1u);  // no question for a file already in the form
    platform::File file;
    std::string err;
    ASSERT_TRUE(file.open(f.path, platform::File::Mode::read, err));
    tags::RmpTexts back;
    ASSERT_TRUE(tags::read_rmp_texts(file, back));
    EXPECT_EQ(back.text[tags::INAM], "short");
    EXPECT_EQ(back.text[tags::IPRD], "Album");
    EXPECT_EQ(back.text[tags::ISFT], "kessa 0.29");
}

TEST(LoadFile, NoMp3AndUnopenableFilesLeaveTheSessionAlone) {
    Fixture f;
    Session before = f.s;
    std::string text = f.dir.file("notes.txt");
    write_file(text, "plain words");
    EXPECT_EQ(load_file(f.s, f.st, f.ui, text), 0);
    EXPECT_EQ(load_file(f.s, f.st, f.ui, f.dir.file("gone.mp3")), 0);
    std::string zip = f.dir.file("a.zip");
    write_file(zip, "PK\x03\x04");
    EXPECT_EQ(load_file(f.s, f.st, f.ui, zip), 0);
    // An archive or a picture is handed to its program; only it, and without a notice.
    std::string jpeg = f.dir.file("photo.mp3.jpg");
    write_file(jpeg, "\xFF\xD8\xFF\xE0 JFIF");
    EXPECT_EQ(load_file(f.s, f.st, f.ui, jpeg), 0);
    using Handed = std::pair<tags::FileKind, std::string>;
    EXPECT_EQ(f.ui.handed, (std::vector<Handed>{{tags::FileKind::zip, zip}, {tags::FileKind::jpeg, jpeg}}));
    EXPECT_EQ(f.ui.notices, (std::vector<Notice>{Notice::not_mp3, Notice::cannot_open}));
    EXPECT_EQ(f.s.current_tag, before.current_tag);
    EXPECT_EQ(f.s.file_loaded, before.file_loaded);
}

TEST(LoadFile, CarryOverAcrossFilesWithAndWithoutRecords) {
    Fixture f;
    f.ui.carry = true;
    f.s.current_tag = tags::Tag{"first", "Carried", "Album", "1999", "Note", 4};
    f.s.undo_snapshot = f.s.current_tag;
    std::string bare = f.dir.file("bare.mp3");
    write_file(bare, std::string(500, 'a'));
    ASSERT_EQ(load_file(f.s, f.st, f.ui, bare), 1);
    EXPECT_EQ(f.s.current_tag, (tags::Tag{"", "Carried", "Album", "1999", "Note", 4}));
    EXPECT_TRUE(f.ui.carry);
    std::string own = f.dir.file("own.mp3");
    write_file(own, std::string(500, 'a') + record_of(tags::Tag{"t", "Someone", "", "", "", 4}));
    ASSERT_EQ(load_file(f.s, f.st, f.ui, own), 1);
    EXPECT_FALSE(f.ui.carry);  // the file's own artist ends carry-over mode
    EXPECT_EQ(f.s.current_tag.artist, "Someone" + std::string(23, ' '));
}

TEST(LoadFile, RmpTextsOnlyFromAWritableFileAndWhileEnabled) {
    Fixture f;
    f.ui.answers = {true};
    ASSERT_EQ(apply_tag(f.s, f.st, f.ui), 1);  // converts the file
    Session fresh;
    ASSERT_EQ(load_file(fresh, f.st, f.ui, f.path), 1);
    EXPECT_TRUE(fresh.rmp_texts.is_rmp);
    EXPECT_EQ(fresh.rmp_texts.text[tags::INAM], std::string(40, 'T'));
    EXPECT_TRUE(f.ui.mode_rmp);
    f.st.rmp_enabled = 0;
    ASSERT_EQ(load_file(fresh, f.st, f.ui, f.path), 1);
    EXPECT_FALSE(fresh.rmp_texts.is_rmp);
    EXPECT_FALSE(f.ui.mode_rmp);
    f.st.rmp_enabled = 1;
    std::string err;
    ASSERT_TRUE(platform::set_read_only(f.path, true, err));
    ASSERT_EQ(load_file(fresh, f.st, f.ui, f.path), 1);
    EXPECT_FALSE(fresh.rmp_texts.is_rmp);
    EXPECT_FALSE(fresh.read_only_media);  // read-only on a hard disk: the apply offers to clear it
    EXPECT_EQ(fresh.current_tag.title, std::string(30, 'T'));
}


TEST(ApplyTag, AnRmpFileCutAfterItsDataReadsBackWhatWasWritten) {
    Fixture f;
    f.ui.answers = {true};
    ASSERT_EQ(apply_tag(f.s, f.st, f.ui), 1);  // the RMP form, with a 40-byte title
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
        ASSERT_TRUE(in.open(path, platform::File::Mode::read, err)) << err;
        tags::ShownTexts before = tags::open_for_editing(in, true);
        bool file_is_rmp = tags::is_rmp_file(in);
        in.close();
        tags::Tag edited{"X", "", "", "", "", 255};
        tags::ApplyForm form = tags::decide_apply_form(edited, true, before.rmp.is_rmp, file_is_rmp);
        tags::ApplyResult r = tags::apply_tag_to_file(path, edited, form, "kessa 0.29");
        ASSERT_TRUE(r.ok) << cut << ": " << r.error;
        ASSERT_TRUE(in.open(path, platform::File::Mode::read, err)) << err;
        EXPECT_EQ(tags::open_for_editing(in, true).title, "X") << "cut " << cut;
    }
}
