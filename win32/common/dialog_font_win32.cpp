#include "win32/common/dialog_font_win32.h"

#include <cstring>
#include <map>
#include <vector>

namespace dialog_font {

namespace {

struct Faces {
    std::vector<std::wstring> names;
    bool found = false;
    const wchar_t* only = nullptr; // set: stop at the first font of this name
};

int CALLBACK collect(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
    auto* faces = reinterpret_cast<Faces*>(param);
    faces->found = true;
    if (faces->only) return 0;
    if (font->lfFaceName[0] == L'@') return 1; // the vertical forms of a font
    std::wstring name = font->lfFaceName;
    for (const std::wstring& n : faces->names)
        if (n == name) return 1;
    faces->names.push_back(name);
    return 1;
}

bool system_has(HDC dc, const std::wstring& face) {
    if (face.empty() || face.size() >= LF_FACESIZE) return false;
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy(lf.lfFaceName, face.c_str());
    Faces faces;
    faces.only = lf.lfFaceName;
    EnumFontFamiliesExW(dc, &lf, collect, reinterpret_cast<LPARAM>(&faces), 0);
    return faces.found;
}

std::wstring choose(const std::wstring& wanted, bool fixed_pitch) {
    HDC dc = GetDC(nullptr);
    if (!dc) return wanted;
    std::wstring face = wanted;
    if (!system_has(dc, wanted)) {
        LOGFONTW lf{};
        lf.lfCharSet = SHIFTJIS_CHARSET;
        Faces japanese;
        EnumFontFamiliesExW(dc, &lf, collect, reinterpret_cast<LPARAM>(&japanese), 0);
        // The usual Japanese UI fonts of Windows, then those of the free systems, by their
        // English and their Japanese names (a system lists a font by the name of its language).
        static const wchar_t* const proportional[] = {
            L"MS UI Gothic",  L"MS PGothic",   L"ＭＳ Ｐゴシック", L"Meiryo UI",   L"メイリオ",
            L"Yu Gothic UI",  L"IPAPGothic",   L"IPAPゴシック",    L"IPAexGothic", L"IPAexゴシック",
            L"VL PGothic",    L"VL Pゴシック", L"TakaoPGothic",    L"TakaoPゴシック", L"Noto Sans CJK JP",
            L"IPAGothic",     L"IPAゴシック"};
        static const wchar_t* const fixed[] = {L"MS Gothic",   L"ＭＳ ゴシック", L"IPAGothic",   L"IPAゴシック",
                                               L"VL Gothic",   L"VL ゴシック",   L"TakaoGothic", L"Takaoゴシック",
                                               L"Noto Sans Mono CJK JP", L"IPAPGothic", L"IPAPゴシック"};
        const auto& order = fixed_pitch ? std::vector<const wchar_t*>(std::begin(fixed), std::end(fixed))
                                        : std::vector<const wchar_t*>(std::begin(proportional), std::end(proportional));
        bool picked = false;
        for (const wchar_t* name : order) {
            for (const std::wstring& have : japanese.names)
                if (have == name) {
                    face = have;
                    picked = true;
                    break;
                }
            if (picked) break;
        }
        if (!picked && !japanese.names.empty()) face = japanese.names.front();
    }
    ReleaseDC(nullptr, dc);
    return face;
}

uint16_t word_at(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The end of a "name or ordinal" field at `at`: an ordinal (0xFFFF and a word), nothing (0) or
// a text ending in 0. Zero when it runs past `size`.
size_t skip_name(const unsigned char* p, size_t size, size_t at) {
    if (at > size || size - at < 2) return 0;
    if (word_at(p + at) == 0xFFFF) return size - at >= 4 ? at + 4 : 0;
    for (; size - at >= 2; at += 2)
        if (word_at(p + at) == 0) return at + 2;
    return 0;
}

} // namespace

std::wstring japanese_face(const std::wstring& wanted, bool fixed_pitch) {
    // Asked once a face: the fonts of a system do not come and go while a program runs. Only
    // the thread of the programs' windows asks, so the answers need no lock.
    static std::map<std::pair<std::wstring, bool>, std::wstring> known;
    auto key = std::make_pair(wanted, fixed_pitch);
    auto it = known.find(key);
    if (it != known.end()) return it->second;
    return known[key] = choose(wanted, fixed_pitch);
}

std::string with_face(const void* dialog_template, size_t size, const std::wstring& face, std::wstring* face_out) {
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style, style, item count,
    // x, y, cx, cy (26 bytes); menu, class, title; with DS_SETFONT or DS_SHELLFONT the point
    // size, weight, italic, character set and face; the items from the next 4-byte boundary.
    const auto* p = static_cast<const unsigned char*>(dialog_template);
    if (!p || size < 26 || word_at(p) != 1 || word_at(p + 2) != 0xFFFF) return {};
    DWORD style;
    std::memcpy(&style, p + 12, 4);
    if (!(style & DS_SETFONT)) return {};
    size_t at = skip_name(p, size, 26);      // menu
    if (at) at = skip_name(p, size, at);     // class
    if (at) at = skip_name(p, size, at);     // title
    if (!at || size - at < 6) return {};
    const size_t face_at = at + 6;
    size_t face_end = face_at;
    while (size - face_end >= 2 && word_at(p + face_end) != 0) face_end += 2;
    if (size - face_end < 2) return {};
    face_end += 2;
    if (face_out) {
        face_out->clear();
        for (size_t i = face_at; i + 2 < face_end; i += 2) face_out->push_back(static_cast<wchar_t>(word_at(p + i)));
    }
    const size_t items_at = (face_end + 3) & ~size_t{3};
    if (items_at > size) return {};
    std::string out(reinterpret_cast<const char*>(p), face_at);
    for (wchar_t c : face) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    out.append(2, '\0');
    while (out.size() % 4) out.push_back('\0');
    out.append(reinterpret_cast<const char*>(p) + items_at, size - items_at);
    return out;
}

HFONT font_with_glyphs(HDC dc, const std::wstring& text) {
    if (text.empty()) return nullptr;
    std::vector<WORD> glyphs(text.size());
    if (GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) ==
        GDI_ERROR)
        return nullptr;
    bool missing = false;
    for (WORD g : glyphs) missing = missing || g == 0xFFFF;
    LOGFONTW lf{};
    if (!missing || !GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf)) return nullptr;
    std::wstring face = japanese_face(L"ＭＳ Ｐゴシック", false);
    if (face.size() >= LF_FACESIZE) return nullptr;
    wcscpy(lf.lfFaceName, face.c_str());
    lf.lfCharSet = SHIFTJIS_CHARSET;
    return CreateFontIndirectW(&lf);
}

INT_PTR dialog_box(HINSTANCE instance, WORD id, HWND owner, DLGPROC proc, LPARAM param) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)); // RT_DIALOG
    const void* data = found ? LockResource(LoadResource(instance, found)) : nullptr;
    const size_t size = found ? SizeofResource(instance, found) : 0;
    std::wstring named;
    if (data && !with_face(data, size, L"", &named).empty()) {
        std::wstring face = japanese_face(named, false);
        if (face != named) {
            // DialogBoxIndirectParamW wants the template on a 4-byte boundary.
            std::string bytes = with_face(data, size, face);
            std::vector<DWORD> aligned((bytes.size() + 3) / 4);
            std::memcpy(aligned.data(), bytes.data(), bytes.size());
            return DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(aligned.data()), owner, proc,
                                           param);
        }
    }
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(id), owner, proc, param);
}

} // namespace dialog_font
