// The extractor's settings and their built-in defaults.
#include "K4Settings.h"

std::string ExtractPath;
ShortString WindowCaption;
ShortString TitleLabelText;
ShortString StartCaption;
ShortString ExtractLabelText;
ShortString FilesWord;
ShortString AboutButtonCaption;
bool AboutButtonVisible;
ShortString AboutProductText;
std::int32_t RunMode;
std::string CabFilePath;
ShortString DataFileName;
bool FirstPaintDone;
CommandSetting CommandToRun;

void ResetSettings() {
    ExtractPath.clear();
    WindowCaption = "Vemra Selfextractor";
    TitleLabelText = "Title label";
    StartCaption = "Start";
    ExtractLabelText = "Extract to path";
    FilesWord = "files";
    AboutButtonCaption = "About";
    AboutButtonVisible = true;
    AboutProductText = "Vemra Selfextractor";
    RunMode = 2;
    CabFilePath.clear();
    DataFileName = ShortString();
    FirstPaintDone = false;
    CommandToRun = CommandSetting();
}

namespace {
struct DefaultsAtStart {
    DefaultsAtStart() { ResetSettings(); }
} g_defaultsAtStart;
}  // namespace
