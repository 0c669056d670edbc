// The about window: its design, its handlers and the routine that shows it.
#include "K4_About.h"
#include <windows.h>
#include <array>
#include <memory>
#include "K4AboutIds.h"
#include "K4AboutPicture.h"
#include "K4AboutSeams.h"
#include "K4ErrorLog.h"
#include "K4ExternalProcess.h"
#include "K4Files.h"

ShortString AboutCaption("About K4");
ShortString AboutIdentText("Windows Cabinet Files");
TAboutBox* AboutBox = nullptr;

std::optional<std::string> about_seams::browserPath;

namespace {

ShortString g_identLine;  // ShowAboutBox's ident line, read by FormCreate

const char* ActiveBrowserPath() { return about_seams::browserPath ? about_seams::browserPath->c_str() : BrowserPath; }

constexpr ui::FormSpec kDesign{
    .caption = "About",
    .client = {298, 172},
    .centred = true,
    .border = ui::Border::Dialog,
    .font = ui::FontSpec{"MS Sans Serif", 0, 11},
    .focus = "OKButton",
};

const std::array<ui::ControlSpec, 8>& ControlTable() {
    static constexpr std::array<ui::ControlSpec, 8> table = {
        ui::Button("OKButton", {111, 140, 75, 25}, "OK").Flags(ui::DefaultButton).Tab(0).Id(about_ids::OKButton),
        ui::Panel("Panel1", {8, 8, 281, 129}).Tab(1).Id(about_ids::Panel1),
        ui::Image("ProgramIcon", {8, 8, 64, 64}, K4_PRODUCT_PICTURE).In("Panel1").Id(about_ids::ProgramIcon),
        ui::Label("ProductName", {88, 16, 0, 0}).In("Panel1").Id(about_ids::ProductName),
        ui::Label("Version", {88, 40, 0, 0}).In("Panel1").Id(about_ids::Version),
        ui::Label("Copyright", {8, 88, 0, 0}).In("Panel1").Id(about_ids::Copyright),
        ui::Label("weblabel", {8, 104, 0, 0}).Flags(ui::HandCursor).In("Panel1").Id(about_ids::weblabel),
        ui::Label("Label1", {88, 56, 0, 0}).In("Panel1").Id(about_ids::Label1),
    };
    return table;
}

}  // namespace

TAboutBox::TAboutBox()
    : ui::Form(kDesign, ControlTable()),
      OKButton(Item(about_ids::OKButton)),
      ProductName(Item(about_ids::ProductName)),
      Version(Item(about_ids::Version)),
      Copyright(Item(about_ids::Copyright)),
      weblabel(Item(about_ids::weblabel)),
      Label1(Item(about_ids::Label1)) {
    OnCreate = [this] { FormCreate(); };
    OnShow = [this] { FormShow(); };
    OKButton.OnClick = [this] { OKButtonClick(); };
    weblabel.OnClick = [this] { weblabelClick(); };
}

void TAboutBox::FormCreate() {
    SetCaption(AboutCaption.View());
    ProductName.SetCaption("Vemra K4");
    Version.SetCaption(GetBuildText().View());
    Copyright.SetCaption(AuthorLine);
    weblabel.SetCaption(WebAddress);
    Label1.SetCaption(g_identLine.View());
}

void TAboutBox::FormShow() {
    bool browser = FileExists(ActiveBrowserPath());
    weblabel.SetFontStyle(false, browser);
    weblabel.SetBackColour(browser ? ui::Colour::Rgb(192, 192, 192) : ui::Colour::System(COLOR_BTNFACE));
    weblabel.SetHandCursor(browser);
}

void TAboutBox::OKButtonClick() { Close(); }

void TAboutBox::weblabelClick() {
    const char* browser = ActiveBrowserPath();
    if (!FileExists(browser)) return;
    // Unquoted on purpose: the system resolves a path with spaces by trying its
    // prefixes, and the full path is the one that names the program.
    ShortString commandLine(browser);
    commandLine += ' ';
    commandLine += std::string_view(weblabel.Caption());
    ExecuteProgram(commandLine);
    if (ErrorsPending()) ReportErrors();
}

void ShowAboutBox(ShortString productLine, ShortString identLine) {
    g_identLine = identLine;
    auto box = std::make_unique<TAboutBox>();
    AboutBox = box.get();
    // Cleared however the window ends, so that no one is left holding a freed one.
    struct Forget {
        ~Forget() { AboutBox = nullptr; }
    } forget;
    box->Create();
    box->ProductName.SetCaption(productLine.View());
    box->ShowModal();
}

