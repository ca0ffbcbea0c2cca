#include "win32/common/dialog_font_win32.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
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
    if (std::find(faces->names.begin(), faces->names.end(), name) == faces->names.end()) faces->names.push_back(name);
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

// The usual Japanese UI fonts of Windows, then those of the free systems, by their English and
// their Japanese names (a system lists a font by the name of its language).
const std::vector<const wchar_t*> k_proportional = {
    L"MS UI Gothic", L"MS PGothic",   L"ＭＳ Ｐゴシック", L"Meiryo UI",      L"メイリオ",         L"Yu Gothic UI",
    L"IPAPGothic",   L"IPAPゴシック", L"IPAexGothic",    L"IPAexゴシック",  L"VL PGothic",       L"VL Pゴシック",
    L"TakaoPGothic", L"TakaoPゴシック", L"Noto Sans CJK JP", L"IPAGothic", L"IPAゴシック"};
const std::vector<const wchar_t*> k_fixed = {
    L"MS Gothic",   L"ＭＳ ゴシック", L"IPAGothic",   L"IPAゴシック",           L"VL Gothic",  L"VL ゴシック",
    L"TakaoGothic", L"Takaoゴシック", L"Noto Sans Mono CJK JP", L"IPAPGothic", L"IPAPゴシック"};

std::wstring choose(const std::wstring& wanted, bool fixed_pitch) {
    HDC dc = GetDC(nullptr);
    if (!dc) return wanted;
    Faces japanese;
    const bool has_wanted = system_has(dc, wanted);
    if (!has_wanted) {
        LOGFONTW lf{};
        lf.lfCharSet = SHIFTJIS_CHARSET;
        EnumFontFamiliesExW(dc, &lf, collect, reinterpret_cast<LPARAM>(&japanese), 0);
    }
    ReleaseDC(nullptr, dc);
    if (has_wanted) return wanted;
    for (const wchar_t* name : fixed_pitch ? k_fixed : k_proportional)
        if (std::find(japanese.names.begin(), japanese.names.end(), name) != japanese.names.end()) return name;
    return japanese.names.empty() ? wanted : japanese.names.front();
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

// Where a DLGTEMPLATEEX names its font's face: the face's first byte and the end of its
// terminating zero. Nothing when the template is no such one, has no font, or is cut short.
// The template: version 1, signature 0xFFFF, help id, extended style, style, item count, x, y,
// cx, cy (26 bytes); menu, class, title; with DS_SETFONT or DS_SHELLFONT the point size,
// weight, italic, character set and face; the items from the next 4-byte boundary.
struct FaceSpot {
    size_t at, end;
};
std::optional<FaceSpot> find_face(const unsigned char* p, size_t size) {
    if (!p || size < 26 || word_at(p) != 1 || word_at(p + 2) != 0xFFFF) return std::nullopt;
    DWORD style;
    std::memcpy(&style, p + 12, 4);
    if (!(style & DS_SETFONT)) return std::nullopt;
    size_t at = skip_name(p, size, 26);  // menu
    if (at) at = skip_name(p, size, at); // class
    if (at) at = skip_name(p, size, at); // title
    if (!at || size - at < 6) return std::nullopt;
    size_t end = at + 6;
    while (size - end >= 2 && word_at(p + end) != 0) end += 2;
    if (size - end < 2) return std::nullopt;
    return FaceSpot{at + 6, end + 2};
}

// The face a template names, as find_face() found it.
std::wstring face_at(const unsigned char* p, const FaceSpot& spot) {
    std::wstring named;
    for (size_t i = spot.at; i + 2 < spot.end; i += 2) named.push_back(static_cast<wchar_t>(word_at(p + i)));
    return named;
}

// The template resource `id` of `instance` and its size; null when it is missing.
const unsigned char* template_of(HINSTANCE instance, WORD id, size_t& size) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)); // RT_DIALOG
    size = found ? SizeofResource(instance, found) : 0;
    return static_cast<const unsigned char*>(found ? LockResource(LoadResource(instance, found)) : nullptr);
}

} // namespace

std::optional<TemplateLayout> template_layout(HINSTANCE instance, WORD id) {
    size_t size = 0;
    const unsigned char* p = template_of(instance, id, size);
    const std::optional<FaceSpot> spot = find_face(p, size);
    if (!spot) return std::nullopt;
    auto short_at = [&](size_t at) { return static_cast<int>(static_cast<int16_t>(word_at(p + at))); };
    TemplateLayout t;
    t.cx = short_at(22);
    t.cy = short_at(24);
    // The point size, weight, italic and character set stand before the face.
    t.point_size = word_at(p + spot->at - 6);
    t.weight = word_at(p + spot->at - 4);
    t.italic = p[spot->at - 2] != 0;
    t.charset = p[spot->at - 1];
    t.face = japanese_face(face_at(p, *spot), false);
    // Each item: help id, extended style, style (12 bytes), x, y, cx, cy (words), id (a
    // double word), class, title, the count of extra bytes and those bytes; the next item from
    // the next 4-byte boundary.
    const size_t count = word_at(p + 16);
    size_t at = (spot->end + 3) & ~size_t{3};
    for (size_t i = 0; i < count; ++i) {
        if (at > size || size - at < 24) return std::nullopt;
        DWORD item_id;
        std::memcpy(&item_id, p + at + 20, 4);
        t.items.push_back({static_cast<int>(item_id), short_at(at + 12), short_at(at + 14), short_at(at + 16),
                           short_at(at + 18)});
        size_t next = skip_name(p, size, at + 24); // class
        if (next) next = skip_name(p, size, next);   // title
        if (!next || size - next < 2) return std::nullopt;
        next += 2 + word_at(p + next);
        at = (next + 3) & ~size_t{3};
    }
    return t;
}

std::wstring japanese_face(const std::wstring& wanted, bool fixed_pitch) {
    // Asked once a face: the fonts of a system do not come and go while a program runs. Only
    // the thread of the programs' windows asks, so the answers need no lock.
    static std::map<std::pair<std::wstring, bool>, std::wstring> known;
    auto key = std::make_pair(wanted, fixed_pitch);
    auto it = known.find(key);
    if (it != known.end()) return it->second;
    return known[key] = choose(wanted, fixed_pitch);
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
    return to_japanese_face(lf) ? CreateFontIndirectW(&lf) : nullptr;
}

bool to_japanese_face(LOGFONTW& font) {
    std::wstring face = japanese_face(L"ＭＳ Ｐゴシック", false);
    if (face.size() >= LF_FACESIZE) return false;
    wcscpy(font.lfFaceName, face.c_str());
    font.lfCharSet = SHIFTJIS_CHARSET;
    return true;
}

INT_PTR dialog_box(HINSTANCE instance, WORD id, HWND owner, DLGPROC proc, LPARAM param) {
    size_t size = 0;
    const unsigned char* p = template_of(instance, id, size);
    const std::optional<FaceSpot> spot = find_face(p, size);
    const size_t items_at = spot ? (spot->end + 3) & ~size_t{3} : 0;
    if (spot && items_at <= size) {
        const std::wstring named = face_at(p, *spot);
        const std::wstring face = japanese_face(named, false);
        if (face != named) {
            // The template up to the face, the new face, and the items from the next 4-byte
            // boundary, in words on a 4-byte boundary as DialogBoxIndirectParamW wants them.
            std::vector<WORD> words(spot->at / 2);
            std::memcpy(words.data(), p, spot->at);
            words.insert(words.end(), face.begin(), face.end());
            words.push_back(0);
            if (words.size() % 2) words.push_back(0);
            const size_t head = words.size();
            words.resize(head + (size - items_at + 1) / 2);
            std::memcpy(words.data() + head, p + items_at, size - items_at);
            std::vector<DWORD> aligned((words.size() + 1) / 2);
            std::memcpy(aligned.data(), words.data(), words.size() * 2);
            return DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(aligned.data()), owner, proc,
                                           param);
        }
    }
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(id), owner, proc, param);
}

} // namespace dialog_font
