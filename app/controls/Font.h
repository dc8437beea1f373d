// The font rule shared by the control kinds.
#pragma once

#include "app/Scoped.h"

#include <optional>

namespace vparse {

using FontRecord = std::optional<LOGFONTA>;

// Makes the font of a record: the record is copied and its character set,
// precisions, quality and pitch replaced by the platform defaults (proof
// quality). No record, or a failed creation, gives an empty owner: the control
// then uses the stock default GUI font.
ScopedFont makeFont(const FontRecord& record);

// The font to hand to a control: the made one, or the stock default GUI font.
HFONT fontOrDefault(const ScopedFont& font);

// Height in pixels of `glyph` (GBK text) drawn in `font` on a screen context.
int textHeight(HFONT font, const char* glyph);

}  // namespace vparse
