// The about window: picture, product, build and ident lines, the maker's author
// line and web address, which starts the web browser when it is installed.
#pragma once
#include "K4Form.h"
#include "ShortString.h"

// The browser the address starts; it also decides whether the address is a link.
inline constexpr const char* BrowserPath = "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";

// The string names of a version resource; only FileVersion (index 2) is read.
extern const char* const VersionInfoKeys[10];

// The maker's lines shown by the window.
inline constexpr const char* AuthorLine = "K4 project contributors";
inline constexpr const char* WebAddress = "https://k4.invalid/";

// Settings written before the window opens: its caption and the ident line.
extern ShortString AboutCaption;    // "About K4" until assigned
extern ShortString AboutIdentText;  // "Windows Cabinet Files" until assigned

class TAboutBox : public ui::Form {
public:
    TAboutBox();

    // The controls its handlers use, bound by id when the window is built.
    ui::Control& OKButton;
    ui::Control& ProductName;
    ui::Control& Version;
    ui::Control& Copyright;
    ui::Control& weblabel;  // the web address, a link when the browser is installed
    ui::Control& Label1;    // the ident line

    void FormCreate();
    void FormShow();
    void OKButtonClick();
    void weblabelClick();
};

// The window while it is shown, else null.
extern TAboutBox* AboutBox;

// Shows a new about window modally with these product and ident lines, and frees
// it when it has been closed.
void ShowAboutBox(ShortString productLine, ShortString identLine);

// "Build: " and the FileVersion string of the "040904E4" table of the running
// executable's version resource (of the named file for BuildTextOf), or empty.
ShortString GetBuildText();
ShortString BuildTextOf(const char* path);
