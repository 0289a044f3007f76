#include "raster/font_face.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>

#include "resources/embedded.h"

struct RasterFontHandle {
    FT_Library library = nullptr; // one per handle: FreeType libraries are not shared across threads
    FT_Face face = nullptr;       // over the embedded bytes, which FreeType only reads
    int lineHeight = 0;
    int ascent = 0;
    bool mono = false;
    int escapement = 0;
};

namespace {

// Cell heights beyond this are treated as this: masks are line height squared bytes.
constexpr int kMaxCellHeight = 512;

void SetCellHeight(RasterFontHandle* h, int height) {
    FT_Face face = h->face;
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

RasterFontHandle* CreateRasterFontHandle(const char* /*name*/, int height, int escapement, int /*weight*/,
                                         bool /*italic*/, int quality) {
    if (height < 0)
        height = -height; // an em height; close enough to a cell height here
    if (height == 0)
        height = 12;
    height = std::min(height, kMaxCellHeight);
    const EmbeddedResource file = EmbeddedTextFace();
    if (!file.data || file.size == 0)
        return nullptr;

    auto* h = new RasterFontHandle;
    if (FT_Init_FreeType(&h->library) != 0 ||
        FT_New_Memory_Face(h->library, file.data, static_cast<FT_Long>(file.size), 0, &h->face) != 0 ||
        !FT_IS_SCALABLE(h->face)) {
        DestroyRasterFontHandle(h);
        return nullptr;
    }
    h->escapement = escapement;
    h->mono = quality == FontQualityMono;
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
    return handle ? EmbeddedTextFaceName() : "";
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
