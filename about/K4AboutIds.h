// Control ids of the about window: programs that drive or read it through window
// messages find its controls with GetDlgItem.
#pragma once

namespace about_ids {
// Numbered from 1201 in the order of the window's control table.
enum : int {
    OKButton = 1201, Panel1, ProgramIcon, ProductName, Version, Copyright, weblabel, Label1
};
}  // namespace about_ids
