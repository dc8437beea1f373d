#include "app/controls/Font.h"

#include "app/Text.h"

#include <algorithm>
#include <cstring>

namespace vparse {

ScopedFont makeFont(const FontRecord& record) {
    if (!record) return {};
    LOGFONTA copy = *record;
    copy.lfCharSet = DEFAULT_CHARSET;
    copy.lfOutPrecision = OUT_DEFAULT_PRECIS;
    copy.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    copy.lfQuality = PROOF_QUALITY;
    copy.lfPitchAndFamily = DEFAULT_PITCH;

    LOGFONTW wide{};
    wide.lfHeight = copy.lfHeight;
    wide.lfWidth = copy.lfWidth;
    wide.lfEscapement = copy.lfEscapement;
    wide.lfOrientation = copy.lfOrientation;
    wide.lfWeight = copy.lfWeight;
    wide.lfItalic = copy.lfItalic;
    wide.lfUnderline = copy.lfUnderline;
    wide.lfStrikeOut = copy.lfStrikeOut;
    wide.lfCharSet = copy.lfCharSet;
    wide.lfOutPrecision = copy.lfOutPrecision;
    wide.lfClipPrecision = copy.lfClipPrecision;
    wide.lfQuality = copy.lfQuality;
    wide.lfPitchAndFamily = copy.lfPitchAndFamily;
    const size_t faceLength = strnlen(copy.lfFaceName, LF_FACESIZE);
    const std::wstring face = toWide(std::string_view(copy.lfFaceName, faceLength));
    const size_t kept = std::min<size_t>(face.size(), LF_FACESIZE - 1);
    std::copy_n(face.begin(), kept, wide.lfFaceName);
    wide.lfFaceName[kept] = L'\0';

    return ScopedFont(CreateFontIndirectW(&wide));
}

HFONT fontOrDefault(const ScopedFont& font) {
    if (font) return font.get();
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

int textHeight(HFONT font, const char* glyph) {
    ScreenDc screen;
    SelectedObject selected(screen.get(), font);
    const std::wstring text = toWide(glyph);
    SIZE size{};
    GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cy;
}

}  // namespace vparse
