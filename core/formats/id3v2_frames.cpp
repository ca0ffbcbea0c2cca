#include "core/formats/id3v2_frames.h"

namespace formats::id3v2 {

namespace {

using V = Versions;
using L = Layout;
using M = Missing;

// Every frame this writer knows, by its 2.3 and 2.4 id. The 2.2 names include those iTunes
// writes for its own frames, under the ids players know in 2.3 and 2.4.
// id, 2.2 name, versions, layout, in the version that lacks it, counterpart, text
const FrameRule k_frames[] = {
    {"AENC", "CRA", V::both, L::binary, M::dropped, nullptr, -1},
    {"APIC", "PIC", V::both, L::picture, M::dropped, nullptr, -1},
    {"ASPI", nullptr, V::only_24, L::binary, M::dropped, nullptr, -1},
    {"CHAP", nullptr, V::only_24, L::binary, M::dropped, nullptr, -1},
    {"COMM", "COM", V::both, L::language_text, M::dropped, nullptr, 4},
    {"COMR", nullptr, V::both, L::other_text, M::dropped, nullptr, -1},
    {"CTOC", nullptr, V::only_24, L::binary, M::dropped, nullptr, -1},
    {"EQU2", nullptr, V::only_24, L::binary, M::dropped, nullptr, -1},
    {"EQUA", "EQU", V::only_23, L::binary, M::dropped, nullptr, -1},
    {"ETCO", "ETC", V::both, L::binary, M::dropped, nullptr, -1},
    {"GEOB", "GEO", V::both, L::other_text, M::dropped, nullptr, -1},
    {"GRP1", "GP1", V::both, L::binary, M::dropped, nullptr, -1},
    {"IPLS", "IPL", V::only_23, L::other_text, M::renamed, "TIPL", -1},
    {"LINK", "LNK", V::both, L::binary, M::dropped, nullptr, -1},
    {"MCDI", "MCI", V::both, L::binary, M::dropped, nullptr, -1},
    {"MLLT", "MLL", V::both, L::binary, M::dropped, nullptr, -1},
    {"MVIN", "MVI", V::both, L::binary, M::dropped, nullptr, -1},
    {"MVNM", "MVN", V::both, L::binary, M::dropped, nullptr, -1},
    {"OWNE", nullptr, V::both, L::other_text, M::dropped, nullptr, -1},
    {"PCNT", "CNT", V::both, L::binary, M::dropped, nullptr, -1},
    {"PCST", "PCS", V::both, L::binary, M::dropped, nullptr, -1},
    {"POPM", "POP", V::both, L::binary, M::dropped, nullptr, -1},
    {"RBUF", "BUF", V::both, L::binary, M::dropped, nullptr, -1},
    {"RVA2", nullptr, V::only_24, L::binary, M::dropped, nullptr, -1},
    {"RVAD", "RVA", V::only_23, L::binary, M::dropped, nullptr, -1},
    {"RVRB", "REV", V::both, L::binary, M::dropped, nullptr, -1},
    {"SEEK", nullptr, V::only_24, L::binary, M::dropped, nullptr, -1},
    {"SIGN", nullptr, V::only_24, L::binary, M::dropped, nullptr, -1},
    {"SYLT", "SLT", V::both, L::other_text, M::dropped, nullptr, -1},
    {"SYTC", "STC", V::both, L::binary, M::dropped, nullptr, -1},
    {"TALB", "TAL", V::both, L::text, M::dropped, nullptr, 2},
    {"TBPM", "TBP", V::both, L::text, M::dropped, nullptr, -1},
    {"TCMP", "TCP", V::both, L::text, M::dropped, nullptr, -1},
    {"TCOM", "TCM", V::both, L::text, M::dropped, nullptr, -1},
    {"TCON", "TCO", V::both, L::text, M::dropped, nullptr, 5},
    {"TCOP", "TCR", V::both, L::text, M::dropped, nullptr, -1},
    {"TDAT", "TDA", V::only_23, L::text, M::date_merged, nullptr, -1},
    {"TDEN", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TDES", "TDS", V::both, L::text, M::dropped, nullptr, -1},
    {"TDLY", "TDY", V::both, L::text, M::dropped, nullptr, -1},
    {"TDOR", nullptr, V::only_24, L::text, M::renamed, "TORY", -1},
    {"TDRC", nullptr, V::only_24, L::text, M::date_split, nullptr, 3},
    {"TDRL", nullptr, V::only_24, L::text, M::date_split, nullptr, -1},
    {"TDTG", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TENC", "TEN", V::both, L::text, M::dropped, nullptr, -1},
    {"TEXT", "TXT", V::both, L::text, M::dropped, nullptr, -1},
    {"TFLT", "TFT", V::both, L::text, M::dropped, nullptr, -1},
    {"TGID", "TID", V::both, L::text, M::dropped, nullptr, -1},
    {"TIME", "TIM", V::only_23, L::text, M::date_merged, nullptr, -1},
    {"TIPL", nullptr, V::only_24, L::text, M::renamed, "IPLS", -1},
    {"TIT1", "TT1", V::both, L::text, M::dropped, nullptr, -1},
    {"TIT2", "TT2", V::both, L::text, M::dropped, nullptr, 0},
    {"TIT3", "TT3", V::both, L::text, M::dropped, nullptr, -1},
    {"TKEY", "TKE", V::both, L::text, M::dropped, nullptr, -1},
    {"TLAN", "TLA", V::both, L::text, M::dropped, nullptr, -1},
    {"TLEN", "TLE", V::both, L::text, M::dropped, nullptr, -1},
    {"TMCL", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TMED", "TMT", V::both, L::text, M::dropped, nullptr, -1},
    {"TMOO", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TOAL", "TOT", V::both, L::text, M::dropped, nullptr, -1},
    {"TOFN", "TOF", V::both, L::text, M::dropped, nullptr, -1},
    {"TOLY", "TOL", V::both, L::text, M::dropped, nullptr, -1},
    {"TOPE", "TOA", V::both, L::text, M::dropped, nullptr, -1},
    {"TORY", "TOR", V::only_23, L::year, M::renamed, "TDOR", -1},
    {"TPE1", "TP1", V::both, L::text, M::dropped, nullptr, 1},
    {"TPE2", "TP2", V::both, L::text, M::dropped, nullptr, -1},
    {"TPE3", "TP3", V::both, L::text, M::dropped, nullptr, -1},
    {"TPE4", "TP4", V::both, L::text, M::dropped, nullptr, -1},
    {"TPOS", "TPA", V::both, L::text, M::dropped, nullptr, -1},
    {"TPRO", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TPUB", "TPB", V::both, L::text, M::dropped, nullptr, -1},
    {"TRCK", "TRK", V::both, L::text, M::dropped, nullptr, 6},
    {"TRDA", "TRD", V::only_23, L::text, M::dropped, nullptr, -1},
    {"TSIZ", "TSI", V::only_23, L::text, M::dropped, nullptr, -1},
    {"TSO2", "TS2", V::both, L::text, M::dropped, nullptr, -1},
    {"TSOA", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TSOC", "TSC", V::both, L::text, M::dropped, nullptr, -1},
    {"TSOP", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TSOT", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TSRC", "TRC", V::both, L::text, M::dropped, nullptr, -1},
    {"TSSE", "TSS", V::both, L::text, M::dropped, nullptr, -1},
    {"TSST", nullptr, V::only_24, L::text, M::dropped, nullptr, -1},
    {"TXXX", "TXX", V::both, L::described_text, M::dropped, nullptr, -1},
    {"TYER", "TYE", V::only_23, L::text, M::date_merged, nullptr, 3},
    {"UFID", "UFI", V::both, L::binary, M::dropped, nullptr, -1},
    {"USER", nullptr, V::both, L::other_text, M::dropped, nullptr, -1},
    {"USLT", "ULT", V::both, L::language_text, M::dropped, nullptr, -1},
    {"WCOM", "WCM", V::both, L::binary, M::dropped, nullptr, -1},
    {"WCOP", "WCP", V::both, L::binary, M::dropped, nullptr, -1},
    {"WFED", "WFD", V::both, L::binary, M::dropped, nullptr, -1},
    {"WOAF", "WAF", V::both, L::binary, M::dropped, nullptr, -1},
    {"WOAR", "WAR", V::both, L::binary, M::dropped, nullptr, -1},
    {"WOAS", "WAS", V::both, L::binary, M::dropped, nullptr, -1},
    {"WPUB", "WPB", V::both, L::binary, M::dropped, nullptr, -1},
    {"WXXX", "WXX", V::both, L::other_text, M::dropped, nullptr, -1},
};

} // namespace

const FrameRule* frame_rule(const std::string& id) {
    for (const FrameRule& r : k_frames) {
        const char* name = id.size() == 3 ? r.v22 : r.id;
        if (name && id == name) return &r;
    }
    return nullptr;
}

std::string v23_name(const std::string& id22) {
    const FrameRule* r = id22.size() == 3 ? frame_rule(id22) : nullptr;
    return r ? r->id : std::string();
}

Layout layout_of(const std::string& id) {
    if (const FrameRule* r = frame_rule(id)) return r->layout;
    return !id.empty() && id[0] == 'T' ? Layout::text : Layout::binary;
}

int text_index(const std::string& id) {
    const FrameRule* r = frame_rule(id);
    return r ? r->text : -1;
}

bool is_picture_or_lyrics(const std::string& id) {
    const FrameRule* r = frame_rule(id);
    return r && (r->layout == Layout::picture || (r->layout == Layout::language_text && r->text < 0));
}

bool exists_in(const FrameRule& rule, int major) {
    return rule.versions == Versions::both || rule.versions == (major == 4 ? Versions::only_24 : Versions::only_23);
}

} // namespace formats::id3v2
