// The extractor window's About button: names the box for this program and opens it.
#include "K4EXTRACTMain.h"
#include "K4Settings.h"
#include "K4_About.h"

void TK4ExtractForm::AbBtnClick() {
    AboutIdentText = "Installation complect";
    AboutCaption = "About Vemra Selfextractor";
    ShowAboutBox(AboutProductText, AboutIdentText);
}
