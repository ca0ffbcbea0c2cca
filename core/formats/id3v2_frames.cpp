#include "core/formats/id3v2_frames.h"

namespace formats::id3v2 {

bool is_kept(const std::string& id) { return id == "APIC" || id == "PIC" || id == "USLT" || id == "ULT"; }

// The seven texts by their frames' names in each version; -1 for any other frame.
int text_index(const std::string& id) {
    static const char* const names[][3] = {{"TIT2", "TT2", nullptr}, {"TPE1", "TP1", nullptr}, {"TALB", "TAL", nullptr},
                                           {"TYER", "TDRC", "TYE"},  {"COMM", "COM", nullptr}, {"TCON", "TCO", nullptr},
                                           {"TRCK", "TRK", nullptr}};
    for (int i = 0; i < 7; ++i)
        for (const char* n : names[i])
            if (n && id == n) return i;
    return -1;
}


namespace {

// 2.2's three-letter names and their 2.3 forms.
const char* const k_v22_names[][2] = {
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"ETC", "ETCO"}, {"EQU", "EQUA"},
    {"GEO", "GEOB"}, {"IPL", "IPLS"}, {"LNK", "LINK"}, {"MCI", "MCDI"}, {"MLL", "MLLT"}, {"PIC", "APIC"},
    {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"}, {"STC", "SYTC"}, {"TAL", "TALB"},
    {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCR", "TCOP"}, {"TDA", "TDAT"}, {"TDY", "TDLY"},
    {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", "TIME"}, {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"},
    {"TMT", "TMED"}, {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"},
    {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"TPB", "TPUB"},
    {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"}, {"TSI", "TSIZ"}, {"TSS", "TSSE"}, {"TT1", "TIT1"},
    {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", "TYER"}, {"UFI", "UFID"},
    {"ULT", "USLT"}, {"WAF", "WOAF"}, {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"},
    {"WPB", "WPUB"}, {"WXX", "WXXX"},
    // Ids of 2.2 that iTunes writes for its own frames, under the names players know in 2.3 and 2.4.
    {"TCP", "TCMP"}, {"TS2", "TSO2"}, {"TSC", "TSOC"}, {"TST", "TSOT"}, {"TSA", "TSOA"}, {"TSP", "TSOP"},
    {"GP1", "GRP1"}, {"MVN", "MVNM"}, {"MVI", "MVIN"}, {"PCS", "PCST"}, {"TDS", "TDES"}, {"TID", "TGID"},
    {"WFD", "WFED"}};


} // namespace

std::string v23_name(const std::string& id22) {
    for (const auto& n : k_v22_names)
        if (id22 == n[0]) return n[1];
    return {};
}

bool one_of(const std::string& id, std::initializer_list<const char*> ids) {
    for (const char* i : ids)
        if (id == i) return true;
    return false;
}

// Frames that 2.4 dropped, and frames that 2.4 brought, with no counterpart to turn them into.
bool only_in_23(const std::string& id) { return one_of(id, {"EQUA", "RVAD", "TRDA", "TSIZ"}); }
bool only_in_24(const std::string& id) {
    return one_of(id, {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN", "TDRL", "TDTG", "TMCL", "TMOO", "TPRO", "TSOA",
                       "TSOP", "TSOT", "TSST", "CHAP", "CTOC"});
}
bool has_other_encoded_text(const std::string& id) {
    return one_of(id, {"GEOB", "SYLT", "USER", "OWNE", "COMR", "WXXX", "IPLS", "TIPL"});
}

// The frame's body with its version's coding undone; false when it is compressed, encrypted or

} // namespace formats::id3v2
