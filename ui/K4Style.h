// Fonts and colours of the form layer: described by value in a control table,
// turned into owned GDI objects when a window is built.
#pragma once
#include <windows.h>
#include <string_view>
#include "UniqueHandle.h"

namespace ui {

// A font by face and size. A size of 0 (both fields) and an empty face mean
// "the window's font" in a control table; bold and underline then add to it. The
// face is a view: faces are literals of the design tables, which live as long as
// the program, and a table of plain values is built by the compiler, not by code.
struct FontSpec {
    std::string_view face;
    int pointSize = 0;    // typographic points, converted with the screen's pixels per inch
    int pixelHeight = 0;  // character height in pixels; used when pointSize is 0
    bool bold = false;
    bool underline = false;
    // Columns of text line up: where the face is missing, the system's substitute
    // must be a fixed-pitch face too.
    bool fixedPitch = false;
};

// A fixed-pitch font by face and point size (or pixel height when pointSize is 0).
constexpr FontSpec FixedFont(std::string_view face, int pointSize, int pixelHeight = 0) {
    FontSpec f{face, pointSize, pixelHeight};
    f.fixedPitch = true;
    return f;
}

// The control's own font: face and size from `own` where given, else from `base`;
// bold and underline when either asks for them.
FontSpec MergeFont(const FontSpec& base, const FontSpec& own);

// The LOGFONT height for the font description on a screen with `pixelsPerInch`: negative, so
// that the system matches the character height rather than the cell height.
int FontHeight(const FontSpec& spec, int pixelsPerInch);

// A new font for the description on a screen with `pixelsPerInch`: point sizes are
// converted at that resolution, pixel heights (design pixels, drawn at 96) scaled to
// it. An empty owner when the system refuses.
UniqueFont MakeFont(const FontSpec& spec, int pixelsPerInch);

// A colour given by system colour index or by red, green and blue, or none (the
// control's default).
class Colour {
public:
    constexpr Colour() = default;
    static constexpr Colour System(int index) { return Colour(Kind::System, index); }
    static constexpr Colour Rgb(int r, int g, int b) {
        return Colour(Kind::Rgb, static_cast<int>(RGB(r, g, b)));
    }

    bool IsSet() const { return kind_ != Kind::None; }
    // The colour as the system draws it now (system colours follow the theme).
    COLORREF Ref() const;
    UniqueBrush MakeBrush() const;

    friend bool operator==(const Colour&, const Colour&) = default;

private:
    enum class Kind { None, System, Rgb };
    constexpr Colour(Kind kind, int value) : kind_(kind), value_(value) {}
    Kind kind_ = Kind::None;
    int value_ = 0;
};

}  // namespace ui
