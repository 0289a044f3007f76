#include "raster/font_face.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

struct RasterFontHandle {
    FT_Library library = nullptr; // one per handle: FreeType libraries are not shared across threads
    FT_Face face = nullptr;
    std::string file;
    int lineHeight = 0;
    int ascent = 0;
    bool mono = false;
    bool embolden = false;
    bool oblique = false;
    int escapement = 0;
};

namespace {

// Cell heights beyond this are treated as this: masks are line height squared bytes.
constexpr int kMaxCellHeight = 512;

// Our own fontconfig configuration, not the library's process-wide one: it can be released
// at exit (the shared one is never freed), and nothing else in the process can change it.
// Used under gFontconfigLock only.
std::mutex gFontconfigLock;

class FontconfigConfig {
  public:
    FontconfigConfig() : mConfig(FcInitLoadConfigAndFonts()) {}
    ~FontconfigConfig() {
        if (mConfig)
            FcConfigDestroy(mConfig);
    }
    FcConfig* Get() const { return mConfig; }

  private:
    FcConfig* mConfig;
};

FcConfig* Config() {
    static FontconfigConfig config;
    return config.Get();
}

bool SameText(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Weight words that a family name may carry, as fontconfig weights.
int WeightOfWord(const std::string& word) {
    static const struct {
        const char* word;
        int weight;
    } kWords[] = {
        {"thin", FC_WEIGHT_THIN},
        {"extralight", FC_WEIGHT_EXTRALIGHT},
        {"ultralight", FC_WEIGHT_EXTRALIGHT},
        {"light", FC_WEIGHT_LIGHT},
        {"medium", FC_WEIGHT_MEDIUM},
        {"semibold", FC_WEIGHT_DEMIBOLD},
        {"demibold", FC_WEIGHT_DEMIBOLD},
        {"bold", FC_WEIGHT_BOLD},
        {"extrabold", FC_WEIGHT_EXTRABOLD},
        {"ultrabold", FC_WEIGHT_EXTRABOLD},
        {"black", FC_WEIGHT_BLACK},
        {"heavy", FC_WEIGHT_HEAVY},
    };
    for (const auto& entry : kWords)
        if (SameText(word, entry.word))
            return entry.weight;
    return -1;
}

// Splits "Arial Black" into the family "Arial" and the weight it names (-1 when none).
int SplitWeightWords(const std::string& name, std::string* family) {
    int weight = -1;
    family->clear();
    std::size_t pos = 0;
    while (pos < name.size()) {
        const std::size_t end = std::min(name.find(' ', pos), name.size());
        const std::string word = name.substr(pos, end - pos);
        const int w = WeightOfWord(word);
        if (w >= 0) {
            weight = std::max(weight, w);
        } else if (!word.empty()) {
            if (!family->empty())
                *family += ' ';
            *family += word;
        }
        pos = end + 1;
    }
    if (family->empty())
        *family = name;
    return weight;
}

struct Match {
    std::string file;
    int index = 0;
    std::string family;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
    bool embolden = false;
};

bool MatchFace(FcConfig* config, const std::string& family, int weight, bool italic, int height, Match* out) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return false;
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, weight);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, height);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    FcChar8* file = nullptr;
    FcChar8* matchedFamily = nullptr;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
    if (ok) {
        out->file = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &out->index) != FcResultMatch)
            out->index = 0;
        if (FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch && matchedFamily)
            out->family = reinterpret_cast<const char*>(matchedFamily);
        if (FcPatternGetInteger(match, FC_WEIGHT, 0, &out->weight) != FcResultMatch)
            out->weight = FC_WEIGHT_REGULAR;
        if (FcPatternGetInteger(match, FC_SLANT, 0, &out->slant) != FcResultMatch)
            out->slant = FC_SLANT_ROMAN;
        FcBool embolden = FcFalse;
        if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch)
            out->embolden = embolden;
    }
    FcPatternDestroy(match);
    return ok;
}

// Chooses the face for a style's name and weight; the requested weight is fontconfig's.
bool ResolveFace(const char* name, int weight, bool italic, int height, Match* out) {
    std::lock_guard<std::mutex> hold(gFontconfigLock);
    FcConfig* config = Config();
    if (!config)
        return false;
    const std::string requested = name ? name : "";
    if (!MatchFace(config, requested, weight, italic, height, out))
        return false;
    if (requested.empty() || SameText(out->family, requested.c_str()))
        return true;

    // The family is not installed. A name like "Arial Black" names a weight too: ask for
    // the family without that word at that weight, so the nearest heavy face stands in.
    std::string family;
    const int named = SplitWeightWords(requested, &family);
    if (named < 0)
        return true;
    const int want = weight > FC_WEIGHT_REGULAR ? std::max(weight, named) : named;
    Match lent;
    if (MatchFace(config, family, want, italic, height, &lent))
        *out = lent;
    return true;
}

void SetCellHeight(RasterFontHandle* h, int height) {
    FT_Face face = h->face;
    if (!FT_IS_SCALABLE(face)) {
        // Bitmap face: take the strike nearest to the wanted height.
        int best = 0;
        for (int i = 1; i < face->num_fixed_sizes; ++i)
            if (std::abs(face->available_sizes[i].height - height) <
                std::abs(face->available_sizes[best].height - height))
                best = i;
        if (face->num_fixed_sizes > 0)
            FT_Select_Size(face, best);
        h->ascent = static_cast<int>(face->size->metrics.ascender >> 6);
        h->lineHeight = static_cast<int>((face->size->metrics.ascender - face->size->metrics.descender) >> 6);
        return;
    }
    // Like a cell-height font request: ascent + descent (the OS/2 "win" metrics when the
    // face has them) spans exactly `height` pixels.
    long ascender = face->ascender;
    long descender = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascender = os2->usWinAscent;
        descender = os2->usWinDescent;
    }
    if (ascender + descender <= 0) {
        ascender = face->units_per_EM;
        descender = 0;
    }
    const double ppem =
        static_cast<double>(height) * face->units_per_EM / static_cast<double>(ascender + descender);
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(ppem * 64.0)), 72, 72);
    h->lineHeight = height;
    h->ascent =
        static_cast<int>(std::lround(static_cast<double>(height) * ascender / (ascender + descender)));
}

} // namespace

RasterFontHandle* CreateRasterFontHandle(const char* name, int height, int escapement, int weight,
                                         bool italic, int quality) {
    if (height < 0)
        height = -height; // an em height; close enough to a cell height here
    if (height == 0)
        height = 12;
    height = std::min(height, kMaxCellHeight);
    const int fcWeight = FcWeightFromOpenType(std::clamp(weight, 1, 1000));
    Match match;
    if (!ResolveFace(name, fcWeight, italic, height, &match))
        return nullptr;

    auto* h = new RasterFontHandle;
    if (FT_Init_FreeType(&h->library) != 0 ||
        FT_New_Face(h->library, match.file.c_str(), match.index, &h->face) != 0) {
        DestroyRasterFontHandle(h);
        return nullptr;
    }
    h->file = match.file;
    h->escapement = escapement;
    h->mono = quality == FontQualityMono;
    h->embolden = match.embolden || (fcWeight >= FC_WEIGHT_BOLD && match.weight < FC_WEIGHT_DEMIBOLD);
    h->oblique = italic && match.slant == FC_SLANT_ROMAN;
    SetCellHeight(h, height);
    if (h->lineHeight <= 0) {
        DestroyRasterFontHandle(h);
        return nullptr;
    }
    return h;
}

void DestroyRasterFontHandle(RasterFontHandle* handle) {
    if (!handle)
        return;
    if (handle->face)
        FT_Done_Face(handle->face);
    if (handle->library)
        FT_Done_FreeType(handle->library);
    delete handle;
}

const char* RasterFontHandleFile(const RasterFontHandle* handle) {
    return handle ? handle->file.c_str() : "";
}

const char* RasterFontHandleFamily(const RasterFontHandle* handle) {
    return handle && handle->face && handle->face->family_name ? handle->face->family_name : "";
}

const char* RasterFontHandleStyleName(const RasterFontHandle* handle) {
    return handle && handle->face && handle->face->style_name ? handle->face->style_name : "";
}

int RasterFontHandleLineHeight(const RasterFontHandle* handle) {
    return handle ? handle->lineHeight : 0;
}

bool RasterFontHandleRender(RasterFontHandle* h, int code, bool widen, std::vector<std::uint8_t>* box,
                            int* width, int* height, int* advance) {
    if (!h || !h->face)
        return false;
    FT_Int32 loadFlags = h->mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
    if (FT_Load_Char(h->face, static_cast<FT_ULong>(code), loadFlags) != 0) {
        *width = *height = *advance = 0;
        return true; // renders to nothing
    }
    FT_GlyphSlot slot = h->face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (h->embolden)
            FT_GlyphSlot_Embolden(slot);
        if (h->oblique)
            FT_GlyphSlot_Oblique(slot);
    }
    if (FT_Render_Glyph(slot, h->mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
        *width = *height = *advance = 0;
        return true;
    }
    const int step = static_cast<int>((slot->advance.x + 32) >> 6);
    const int w = step + (widen ? 2 : 0);
    const int hgt = h->lineHeight;
    *advance = step;
    if (w < 1 || hgt < 1) {
        *width = *height = 0;
        return true;
    }
    *width = w;
    *height = hgt;
    box->assign(static_cast<std::size_t>(w) * hgt, 0);

    const FT_Bitmap& bm = slot->bitmap;
    const int left = slot->bitmap_left;
    const int top = h->ascent - slot->bitmap_top;
    for (int r = 0; r < static_cast<int>(bm.rows); ++r) {
        const int y = top + r;
        if (y < 0 || y >= hgt)
            continue;
        const unsigned char* src = bm.buffer + static_cast<std::ptrdiff_t>(r) * bm.pitch;
        std::uint8_t* dst = box->data() + static_cast<std::size_t>(y) * w;
        for (int c = 0; c < static_cast<int>(bm.width); ++c) {
            const int x = left + c;
            if (x < 0 || x >= w)
                continue;
            int coverage;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                coverage = (src[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
            else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
                coverage = bm.num_grays == 256 ? src[c] : src[c] * 255 / std::max(1, bm.num_grays - 1);
            else
                coverage = 0;
            dst[x] = static_cast<std::uint8_t>(std::max(dst[x], static_cast<std::uint8_t>(coverage)));
        }
    }
    return true;
}
