// The extractor's settings: module-level variables with built-in defaults that the
// extractor window applies on every refresh. The payload replaces the first three.
#pragma once
#include <cstdint>
#include <string>
#include "ShortString.h"

extern std::string ExtractPath;          // target directory (payload text 1)
extern ShortString WindowCaption;        // window caption (payload text 2)
extern ShortString TitleLabelText;       // title line (payload text 3)
extern ShortString StartCaption;
extern ShortString ExtractLabelText;
extern ShortString FilesWord;
extern ShortString AboutButtonCaption;
extern bool AboutButtonVisible;
extern ShortString AboutProductText;
extern std::int32_t RunMode;             // 2: Start extracts; 1: Start does not run the engine
extern std::string CabFilePath;          // DataFileName once the temporary cabinet exists
extern ShortString DataFileName;
extern bool FirstPaintDone;

// The command an installer archive runs once its files are extracted (the payload's
// run record); not given for an archive without one, which runs nothing.
struct CommandSetting {
    bool given = false;
    bool temporary = false;   // extracted into a fresh temporary folder, removed afterwards
    std::wstring program;     // a member's path inside the cabinet, '\' between folders
    std::wstring arguments;   // passed as written
};
extern CommandSetting CommandToRun;

// Puts every setting back to its built-in default (program start; tests).
void ResetSettings();
