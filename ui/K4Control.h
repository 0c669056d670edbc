// One control of a form: its row in the window's control table and the live
// control built from it (captions, state, list lines, progress, colours, fonts).
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <string_view>
#include "K4Layout.h"
#include "K4Style.h"

namespace ui {

class Form;

// The window's colours as a control's colour message needs them.
struct WindowColours {
    HBRUSH brush;
    COLORREF back;
    COLORREF text;
};

enum class Kind {
    Label,        // static text; sizes itself to its text unless NoAutoSize
    Button,       // push button
    ListBox,      // single-column list of lines
    Edit,         // single-line edit
    LabeledEdit,  // edit with a label 3 pixels above it (the label follows the edit)
    ProgressBar,  // common controls progress bar, range 0 to 100 unless changed
    Panel,        // lowered inner and outer bevel; holds the controls naming it as parent
    Image,        // a bitmap resource drawn stretched to the control
    Memo,         // read-only multi-line text with both scroll bars
};

// Flags of a control table row.
enum ControlFlag : unsigned {
    Hidden = 1,
    Disabled = 2,
    NoAutoSize = 4,     // labels: keep the designed size
    DefaultButton = 8,  // Enter presses it
    CancelButton = 16,  // Esc presses it
    HandCursor = 32,    // the hand pointer over the control
    NoTabStop = 64,     // not reached by Tab even with a tab order
};

// One row of a window's control table. Positions are relative to the client area
// of the window, or of the panel named in `parent`, in design pixels (96 per inch):
// the form scales them, the line height and pixel font heights to its resolution. Rows are written with the
// makers below and refined with the chained setters, one row per control:
//   ui::Button("StartBtn", {320, 8, 53, 25}, "Start").Anchors(AnchorTop | AnchorRight).Tab(1)
struct ControlSpec {
    std::string_view name;
    Kind kind = Kind::Label;
    Rect rect;
    unsigned anchors = AnchorLeftTop;
    std::string_view caption;  // a labeled edit: its label's caption
    FontSpec font;             // empty face/size: the window's font
    Colour textColour;         // none: the window's text colour (labels) or the default
    Colour backColour;         // none: the window's colour (labels, panels) or the default
    int tabOrder = -1;         // creation order among tab stops; -1: not a tab stop
    unsigned flags = 0;        // ControlFlag bits
    std::string_view parent;   // a panel's name, or empty for the window itself
    int itemHeight = 0;        // list boxes: line height in pixels (0: the font's)
    int bitmapId = 0;          // images: resource id of the bitmap in the executable
    int id = 0;                // control id (0: 100 + the row's place); lets other
                               // programs find the control with GetDlgItem

    constexpr ControlSpec Anchors(unsigned a) const { return With([&](ControlSpec& c) { c.anchors = a; }); }
    constexpr ControlSpec Caption(std::string_view t) const { return With([&](ControlSpec& c) { c.caption = t; }); }
    constexpr ControlSpec Font(FontSpec f) const { return With([&](ControlSpec& c) { c.font = f; }); }
    constexpr ControlSpec Bold() const { return With([](ControlSpec& c) { c.font.bold = true; }); }
    constexpr ControlSpec TextColour(Colour k) const { return With([&](ControlSpec& c) { c.textColour = k; }); }
    constexpr ControlSpec BackColour(Colour k) const { return With([&](ControlSpec& c) { c.backColour = k; }); }
    constexpr ControlSpec Tab(int order) const { return With([&](ControlSpec& c) { c.tabOrder = order; }); }
    constexpr ControlSpec Flags(unsigned f) const { return With([&](ControlSpec& c) { c.flags |= f; }); }
    constexpr ControlSpec In(std::string_view panel) const { return With([&](ControlSpec& c) { c.parent = panel; }); }
    constexpr ControlSpec ItemHeight(int h) const { return With([&](ControlSpec& c) { c.itemHeight = h; }); }
    constexpr ControlSpec Bitmap(int resource) const { return With([&](ControlSpec& c) { c.bitmapId = resource; }); }
    constexpr ControlSpec Id(int value) const { return With([&](ControlSpec& c) { c.id = value; }); }

private:
    template <class F>
    constexpr ControlSpec With(F change) const {
        ControlSpec copy = *this;
        change(copy);
        return copy;
    }
};

constexpr ControlSpec Row(std::string_view name, Kind kind, Rect rect, std::string_view caption = {}) {
    ControlSpec c;
    c.name = name;
    c.kind = kind;
    c.rect = rect;
    c.caption = caption;
    return c;
}
constexpr ControlSpec Label(std::string_view n, Rect r, std::string_view t = {}) { return Row(n, Kind::Label, r, t); }
constexpr ControlSpec Button(std::string_view n, Rect r, std::string_view t) { return Row(n, Kind::Button, r, t); }
constexpr ControlSpec ListBox(std::string_view n, Rect r) { return Row(n, Kind::ListBox, r); }
constexpr ControlSpec Edit(std::string_view n, Rect r) { return Row(n, Kind::Edit, r); }
constexpr ControlSpec LabeledEdit(std::string_view n, Rect r, std::string_view label) {
    return Row(n, Kind::LabeledEdit, r, label);
}
constexpr ControlSpec ProgressBar(std::string_view n, Rect r) { return Row(n, Kind::ProgressBar, r); }
constexpr ControlSpec Panel(std::string_view n, Rect r) { return Row(n, Kind::Panel, r); }
constexpr ControlSpec Image(std::string_view n, Rect r, int bitmapId) { return Row(n, Kind::Image, r).Bitmap(bitmapId); }
constexpr ControlSpec Memo(std::string_view n, Rect r) { return Row(n, Kind::Memo, r); }

// The number of "\r\n" pairs in a text (a memo's line breaks).
int CountLineBreaks(std::string_view text);

class Control {
public:
    Control(Form& form, const ControlSpec& spec, int id);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    std::string_view Name() const { return name_; }
    Kind GetKind() const { return kind_; }
    HWND Handle() const { return hwnd_; }
    int Id() const { return id_; }

    // Text: a label's or button's caption, an edit's or memo's text. Setting the
    // same text again changes nothing (and so fires no change event).
    void SetCaption(std::string_view text);
    std::string Caption() const;
    void SetVisible(bool visible);
    void SetEnabled(bool enabled);

    // The label of a labeled edit.
    void SetLabelCaption(std::string_view text);

    // List box lines (memo lines too).
    void Clear();
    int Count() const;
    void AddLine(std::string_view line);

    // Progress bar.
    void SetMax(int max);
    void SetPosition(int position);

    // Presentation at run time.
    void SetFontStyle(bool bold, bool underline);
    void SetBackColour(Colour colour);
    void SetHandCursor(bool hand) { handCursor_ = hand; }
    bool HasHandCursor() const { return handCursor_; }

    // Events, run from the window procedure (an exception reaches the general
    // error handler there).
    std::function<void()> OnClick;
    std::function<void()> OnChange;

    // A notification this control sent its window (a click, a changed text): runs
    // the event it stands for.
    void HandleNotification(int code);
    // A button pressed by click or key: runs OnClick while enabled and visible.
    void Press();

private:
    friend class Form;
    // The tests' probes of the design (K4UiSeams.h).
    friend Rect DesignRectForTests(const Control& control);
    friend int DesignItemHeightForTests(const Control& control);
    friend const FontSpec& FontForTests(const Control& control);
    void Create(HWND parent, const FontSpec& windowFont);
    void ApplyFont();
    void AutoSize();
    // Where the control goes in a parent of its design size scaled to `dpi`, before
    // anchoring: the design scaled, with a label's measured text in place of its size.
    Rect Placement(int dpi) const;
    HBRUSH ColourFor(HDC dc, const WindowColours& window) const;
    void DrawImage(const DRAWITEMSTRUCT& item) const;

    Form& form_;
    std::string name_;
    Kind kind_;
    std::string caption_;
    Rect design_;  // in design coordinates of the parent's client area
    Size measured_;         // a label's text in its font, in screen pixels
    bool isMeasured_ = false;
    unsigned anchors_;
    unsigned flags_;
    int id_;
    int tabOrder_;
    int itemHeight_;
    int bitmapId_;
    std::string parentName_;
    FontSpec ownFont_;
    FontSpec fontSpec_;  // resolved against the window's font
    Colour text_, back_;
    bool handCursor_;
    HWND hwnd_ = nullptr;       // destroyed with its parent window
    Control* label_ = nullptr;       // a labeled edit's label (owned by the form)
    Control* attachedTo_ = nullptr;  // the edit this label belongs to
    int memoLines_ = 0;              // lines of a memo (an empty memo has none)
    Control* panel_ = nullptr;  // the panel holding this control, if any
    UniqueFont font_;
    UniqueBrush brush_;
    UniqueBitmap bitmap_;
};

}  // namespace ui
