// Fonts and colours: spec merging, point-to-pixel conversion and owned GDI objects.
#include "K4Style.h"
#include "K4Dpi.h"

namespace ui {

FontSpec MergeFont(const FontSpec& base, const FontSpec& own) {
    FontSpec out = base;
    if (!own.face.empty()) out.face = own.face;
    if (!own.face.empty()) out.fixedPitch = own.fixedPitch;
    if (own.pointSize > 0 || own.pixelHeight > 0) {
        out.pointSize = own.pointSize;
        out.pixelHeight = own.pixelHeight;
    }
    out.bold = base.bold || own.bold;
    out.underline = base.underline || own.underline;
    return out;
}

int FontHeight(const FontSpec& spec, int pixelsPerInch) {
    if (spec.pointSize > 0) return -MulDiv(spec.pointSize, pixelsPerInch, 72);
    return -spec.pixelHeight;
}

UniqueFont MakeFont(const FontSpec& spec, int pixelsPerInch) {
    FontSpec scaled = spec;
    scaled.pixelHeight = ScaleToDpi(spec.pixelHeight, pixelsPerInch);
    LOGFONTA lf{};
    lf.lfHeight = FontHeight(scaled, pixelsPerInch);
    lf.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = spec.underline ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = spec.fixedPitch ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE;
    // Cut to the field, which keeps room for the terminator (zeroed above).
    spec.face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    return UniqueFont(CreateFontIndirectA(&lf));
}

COLORREF Colour::Ref() const {
    switch (kind_) {
        case Kind::System: return GetSysColor(value_);
        case Kind::Rgb: return static_cast<COLORREF>(value_);
        case Kind::None: break;
    }
    return GetSysColor(COLOR_BTNFACE);
}

UniqueBrush Colour::MakeBrush() const { return UniqueBrush(CreateSolidBrush(Ref())); }

}  // namespace ui
