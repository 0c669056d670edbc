// The three windows laid out for the display's resolution. Run once per display scale
// (100 to 200 %) by dpi_scales.sh, each time with Wine's system resolution set to the
// one K4_EXPECT_DPI names: the extractor, error and about windows are built for real,
// and every control's rectangle and font are checked against its design scaled, and
// every text against the room it is drawn in, measured with the font the control has.
// A move to a monitor of another scale (WM_DPICHANGED, which Wine never sends) is
// played by sending the message. The built program itself is started too, and lays its
// window out for the resolution. (Wine makes every program aware of the resolution,
// with or without a manifest: the manifest's elements are checked by check_manifest.py.)
//
// The one rounding of a design length to the display: MulDiv(length, dpi, 96), the
// nearest pixel, halves away from zero. Font heights: -MulDiv(points, dpi, 72), or a
// design pixel height scaled as a length.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "ControlProbe.h"
#include "Driver.h"
#include "K4ErrorForm.h"
#include "K4ExtractControls.h"
#include "K4Gdi.h"
#include "K4Settings.h"
#include "K4UiSeams.h"
#include "K4_About.h"
#include "ExtractWindowFixture.h"

namespace {

using ui::Rect;

int Scaled(int length, int dpi) { return MulDiv(length, dpi, 96); }
Rect Scaled(Rect r, int dpi) { return {Scaled(r.x, dpi), Scaled(r.y, dpi), Scaled(r.w, dpi), Scaled(r.h, dpi)}; }

const int kScales[] = {96, 120, 144, 168, 192};

// The test program is made aware of the resolution as the extractor's manifest makes
// the extractor (per monitor, version 2, where the system has it), as Windows would
// need it to tell the program the true resolution.
const bool kAware = [] {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    using ContextFn = BOOL(WINAPI*)(HANDLE);
    auto context = reinterpret_cast<ContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    if (context && context(reinterpret_cast<HANDLE>(-4))) return true;  // PER_MONITOR_AWARE_V2
    return SetProcessDPIAware() != FALSE;
}();

int SystemDpi() {
    WindowDC screen(nullptr);
    return GetDeviceCaps(screen.Get(), LOGPIXELSX);
}

// How a control's size is decided: the design's scaled, its text's (a label sizing
// itself, or the label of a labeled edit, placed above the edit), or the design's
// width with at least its text's height (a label of fixed size).
enum class Sizing { Design, Text, Above, FixedLabel };

struct Row {
    const char* name;
    Sizing sizing;
};

const Row kExtractRows[] = {
    {"ProgressBar1", Sizing::Design}, {"Label1", Sizing::Text},      {"StartBtn", Sizing::Design},
    {"ListBox1", Sizing::Design},     {"LabeledEdit1", Sizing::Design}, {"LabeledEdit1.Label", Sizing::Above},
    {"AbBtn", Sizing::Design},        {"Label2", Sizing::Text},      {"Label4", Sizing::Text},
    {"Label3", Sizing::FixedLabel},
};
const Row kErrorRows[] = {
    {"Memo1", Sizing::Design}, {"Button1", Sizing::Design}, {"Label1", Sizing::Text}, {"Label2", Sizing::Text}};
const Row kAboutRows[] = {
    {"OKButton", Sizing::Design}, {"Panel1", Sizing::Design}, {"ProgramIcon", Sizing::Design},
    {"ProductName", Sizing::Text}, {"Version", Sizing::Text}, {"Copyright", Sizing::Text},
    {"weblabel", Sizing::Text},    {"Label1", Sizing::Text},
};

// A control's text as drawn: its font (the one the control has selected), the text's
// extent in it and the font's line height.
struct Drawn {
    LOGFONTA font{};
    SIZE text{};
    LONG line = 0;
};

Drawn Measure(HWND control, const std::string& text) {
    Drawn d;
    auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    GetObjectA(font, sizeof d.font, &d.font);
    WindowDC dc(control);
    SelectedObject selected(dc.Get(), font);
    GetTextExtentPoint32A(dc.Get(), text.data(), static_cast<int>(text.size()), &d.text);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc.Get(), &tm);
    d.line = tm.tmHeight;
    return d;
}

// The number of the text's leading characters that fit in `width` pixels in the font.
int CharactersFitting(HFONT font, const std::string& text, int width) {
    WindowDC dc(nullptr);
    SelectedObject selected(dc.Get(), font);
    int fit = 0;
    SIZE size{};
    GetTextExtentExPointA(dc.Get(), text.data(), static_cast<int>(text.size()), width, &fit, nullptr, &size);
    return fit;
}

SIZE ClientOf(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return {r.right, r.bottom};
}

// Every row's control of the window laid out for `dpi`, and every shown text whole.
void ExpectLaidOutFor(ui::Form& form, ui::Size designClient, const Row* rows, std::size_t count, int dpi) {
    SCOPED_TRACE(testing::Message() << "at " << dpi << " dpi");
    EXPECT_EQ(ui::DpiForTests(form), dpi);
    EXPECT_EQ(form.ClientSize(), (ui::Size{Scaled(designClient.w, dpi), Scaled(designClient.h, dpi)}));
    for (std::size_t i = 0; i < count; ++i) {
        ui::Control& c = form.Item(rows[i].name);
        SCOPED_TRACE(rows[i].name);
        const std::string text = c.Caption();
        const Drawn drawn = Measure(c.Handle(), text);
        const Rect scaled = Scaled(ui::DesignRectForTests(c), dpi);
        const Rect at = probe::Bounds(c);
        switch (rows[i].sizing) {
            case Sizing::Design: EXPECT_EQ(at, scaled); break;
            case Sizing::Text: EXPECT_EQ(at, (Rect{scaled.x, scaled.y, drawn.text.cx, drawn.line})); break;
            case Sizing::Above: {
                const Rect edit = Scaled(ui::DesignRectForTests(form.Item("LabeledEdit1")), dpi);
                EXPECT_EQ(at, (Rect{edit.x, edit.y - drawn.line - Scaled(3, dpi), drawn.text.cx, drawn.line}));
                break;
            }
            case Sizing::FixedLabel:
                EXPECT_EQ(at, (Rect{scaled.x, scaled.y, scaled.w, dpi == 96 ? scaled.h : std::max(scaled.h, static_cast<int>(drawn.line))}));
                break;
        }
        // The font: the design's face and size at this resolution (a panel draws no text).
        if (c.GetKind() == ui::Kind::Panel) continue;
        const ui::FontSpec& spec = ui::FontForTests(c);
        const int height = spec.pointSize > 0 ? -MulDiv(spec.pointSize, dpi, 72) : -Scaled(spec.pixelHeight, dpi);
        EXPECT_EQ(drawn.font.lfHeight, height);
        EXPECT_EQ(std::string(drawn.font.lfFaceName), std::string(spec.face));
        if (ui::DesignItemHeightForTests(c) > 0) {
            const int item = static_cast<int>(SendMessageA(c.Handle(), LB_GETITEMHEIGHT, 0, 0));
            EXPECT_EQ(item, Scaled(ui::DesignItemHeightForTests(c), dpi));
        }
    }
}

// Every text the window shows fits where it is drawn: a label's whole text in its own
// width and within its parent, a button's caption inside its frame, a list's and an
// edit's line in its height and a list's every line in its width. A label of fixed
// size cut at 96 (a 255-character title) shows at least as much of its text scaled.
void ExpectTextsFit(ui::Form& form, const Row* rows, std::size_t count, int dpi) {
    SCOPED_TRACE(testing::Message() << "texts at " << dpi << " dpi");
    // A push button's frame takes two edges on every side.
    const int frame = 4 * GetSystemMetrics(SM_CXEDGE);
    for (std::size_t i = 0; i < count; ++i) {
        ui::Control& c = form.Item(rows[i].name);
        if (!probe::Visible(c)) continue;
        SCOPED_TRACE(rows[i].name);
        const std::string text = c.Caption();
        const Drawn drawn = Measure(c.Handle(), text);
        const Rect at = probe::Bounds(c);
        const SIZE parent = ClientOf(GetParent(c.Handle()));
        switch (c.GetKind()) {
            case ui::Kind::Label:
                EXPECT_GE(at.h, drawn.line);
                EXPECT_LE(at.x + at.w, parent.cx) << "inside its window";
                if (rows[i].sizing != Sizing::FixedLabel) {
                    EXPECT_GE(at.w, drawn.text.cx);
                } else {
                    auto font = reinterpret_cast<HFONT>(SendMessageA(c.Handle(), WM_GETFONT, 0, 0));
                    const int shown = CharactersFitting(font, text, at.w);
                    UniqueFont design = ui::MakeFont(ui::FontForTests(c), 96);
                    const int shownAt96 = CharactersFitting(design.Get(), text, ui::DesignRectForTests(c).w);
                    EXPECT_GE(shown, shownAt96) << text.size() << " characters";
                }
                break;
            case ui::Kind::Button:
                EXPECT_LE(drawn.text.cx + frame, at.w) << text;
                EXPECT_LE(drawn.line + frame, at.h) << text;
                break;
            case ui::Kind::ListBox: {
                const SIZE inside = ClientOf(c.Handle());
                EXPECT_GE(static_cast<int>(SendMessageA(c.Handle(), LB_GETITEMHEIGHT, 0, 0)), drawn.line);
                ASSERT_GT(c.Count(), 0);
                for (int n = 0; n < c.Count(); ++n)
                    EXPECT_LE(Measure(c.Handle(), probe::Line(c, n)).text.cx, inside.cx) << probe::Line(c, n);
                break;
            }
            case ui::Kind::Edit:
            case ui::Kind::LabeledEdit:
            case ui::Kind::Memo: EXPECT_GE(ClientOf(c.Handle()).cy, drawn.line); break;
            default: break;
        }
    }
}

// The window told that its monitor now has `dpi`, with the rectangle the system would
// suggest: the same top left corner, the frame around the design's client area scaled.
void MoveToMonitorOf(ui::Form& form, ui::Size designClient, int dpi) {
    RECT window, client;
    GetWindowRect(form.Handle(), &window);
    GetClientRect(form.Handle(), &client);
    RECT suggested{window.left, window.top,
                   window.left + (window.right - window.left) - client.right + Scaled(designClient.w, dpi),
                   window.top + (window.bottom - window.top) - client.bottom + Scaled(designClient.h, dpi)};
    SendMessageA(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT now;
    GetWindowRect(form.Handle(), &now);
    EXPECT_TRUE(EqualRect(&now, &suggested)) << "takes the suggested rectangle";
}

// Laid out for the system's resolution when created, then for every other scale.
void ExpectEveryScale(ui::Form& form, ui::Size designClient, const Row* rows, std::size_t count) {
    const int dpi = SystemDpi();
    ExpectLaidOutFor(form, designClient, rows, count, dpi);
    ExpectTextsFit(form, rows, count, dpi);
    for (int to : kScales) {
        MoveToMonitorOf(form, designClient, to);
        ExpectLaidOutFor(form, designClient, rows, count, to);
        ExpectTextsFit(form, rows, count, to);
    }
}

TEST(DisplayScale, IsTheOneTheRunSet) {
    ASSERT_TRUE(kAware);
    const char* expected = std::getenv("K4_EXPECT_DPI");
    ASSERT_NE(expected, nullptr) << "run by dpi_scales.sh, which sets the scale";
    EXPECT_EQ(SystemDpi(), std::atoi(expected));
}

// The longest texts a payload may hold: 255-character caption and title, a long path.
std::string Long(const char* head, std::size_t length) {
    std::string text(head);
    while (text.size() < length) text += " Wide Words";
    text.resize(length);
    return text;
}

class ExtractAtScale : public ExtractWindow {
protected:
    void SetUp() override {
        ExtractWindow::SetUp();
        cabw::Cabinet files = cabw::OneFile("a_member_name_longer_than_the_name_column_of_the_list.txt", "long name");
        cabw::Member readme;
        readme.name = "readme.txt";
        readme.data = "read me";
        files.members.push_back(readme);
        const std::string cabinet = cabw::Build(files);
        const std::string path = "C:\\" + Long("Program Files\\Wide Words", 200);
        SetPayloadFileForTests(scratch_.Write("LONG.EXE", "MZ" + std::string(200, '\0') +
                                              k4test::Payload(path, Long("Caption", 255), Long("Title", 255), cabinet)));
        Open();
        Paint();
    }
};

TEST_F(ExtractAtScale, ExtractorWindowAtEveryScale) {
    ASSERT_EQ(form_->ListBox1.Count(), 2);
    EXPECT_EQ(probe::Text(form_->Handle()).size(), 255u);
    EXPECT_EQ(form_->Label3.Caption().size(), 255u);
    const int dpi = SystemDpi();
    RECT frame;
    GetWindowRect(form_->Handle(), &frame);
    EXPECT_EQ(frame.left, Scaled(159, dpi));
    EXPECT_EQ(frame.top, Scaled(159, dpi));
    ExpectEveryScale(*form_, {452, 263}, kExtractRows, std::size(kExtractRows));
}

TEST(ErrorAtScale, ErrorWindowAtEveryScale) {
    TErrorForm form;
    form.Create();
    form.SetCaption(Long("Error", 255));
    form.Item("Button1").SetCaption("Ok");
    form.Item("Label1").SetCaption("Cannot open the cabinet");
    form.Item("Label2").SetCaption(MemoryLabelText().View());
    form.Item("Memo1").AddLine(Long("A failure", 255));
    form.Show();
    const int dpi = SystemDpi();
    RECT frame;
    GetWindowRect(form.Handle(), &frame);
    EXPECT_EQ(frame.left, Scaled(191, dpi));
    EXPECT_EQ(frame.top, Scaled(107, dpi));
    ExpectEveryScale(form, {471, 177}, kErrorRows, std::size(kErrorRows));
}

// The share of the picture's 2 x 2 blocks (at 200 %, each stands for one pixel of the
// picture) that are not one flat colour: drawn in blocks, that share is nothing.
double BlendedShare(HWND picture) {
    RECT r;
    GetClientRect(picture, &r);
    WindowDC dc(picture);
    int blended = 0, blocks = 0;
    for (int y = 0; y + 1 < r.bottom; y += 2)
        for (int x = 0; x + 1 < r.right; x += 2) {
            const COLORREF c = GetPixel(dc.Get(), x, y);
            ++blocks;
            if (GetPixel(dc.Get(), x + 1, y) != c || GetPixel(dc.Get(), x, y + 1) != c ||
                GetPixel(dc.Get(), x + 1, y + 1) != c)
                ++blended;
        }
    return blocks ? static_cast<double>(blended) / blocks : 0;
}

TEST(AboutAtScale, AboutWindowAtEveryScaleWithItsPictureDrawnSmoothly) {
    TAboutBox box;
    box.Create();
    box.Item("ProductName").SetCaption("Vemra Selfextractor");
    box.Show();
    RECT frame;
    GetWindowRect(box.Handle(), &frame);
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2) << "centred";
    ExpectEveryScale(box, {298, 172}, kAboutRows, std::size(kAboutRows));
    // Last laid out for 200 %: the picture at twice its size.
    HWND picture = box.Item("ProgramIcon").Handle();
    RedrawWindow(box.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_GT(BlendedShare(picture), 0.2) << "smooth, not in blocks of 2 x 2";
}

// The built program, started with a payload: laid out for the display.
TEST(ProgramAtScale, TheExtractorLaysItsWindowOutForTheDisplay) {
    k4test::ScratchFolder folder;
    std::string cabinet;
    ASSERT_TRUE(k4test::ReadBytes(e2e::TestCabinet(), cabinet));
    const std::string exe =
        e2e::MakeExtractor(folder, "SETUP.EXE", k4test::Payload("C:\\Scaled\\", "Scaled window", "Scaled title", cabinet));
    e2e::Process process;
    ASSERT_TRUE(process.Start(exe, "\"" + exe + "\"", folder.Path()));
    HWND window = e2e::FindProcessWindow(process, "K4Form", "Scaled window");
    ASSERT_NE(window, nullptr);
    process.WaitForIdle(e2e::DefaultTimeoutMs);
    const int dpi = SystemDpi();
    const SIZE client = ClientOf(window);
    EXPECT_EQ(client.cx, Scaled(452, dpi));
    EXPECT_EQ(client.cy, Scaled(263, dpi));
    const RECT list = probe::RectInParent(probe::ById(window, extract_ids::ListBox1));
    EXPECT_EQ(list.left, Scaled(8, dpi));
    EXPECT_EQ(list.right, Scaled(8, dpi) + Scaled(435, dpi));
    EXPECT_EQ(SendMessageA(probe::ById(window, extract_ids::ListBox1), LB_GETITEMHEIGHT, 0, 0), Scaled(14, dpi));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(process.WaitForExit(e2e::DefaultTimeoutMs));
}

}  // namespace
