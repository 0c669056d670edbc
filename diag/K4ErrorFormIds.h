// Control ids of the error window: programs that drive or read it through window
// messages find its controls with GetDlgItem.
#pragma once

namespace error_ids {
// Numbered from 1101 in the order of the window's control table.
enum : int {
    Memo1 = 1101, Button1, Label1, Label2
};
}  // namespace error_ids
