// Control ids of the extractor window: programs that drive it through window
// messages find its controls with GetDlgItem.
#pragma once

namespace extract_ids {
// Numbered from 1001 in the order of the window's control table.
enum : int {
    ProgressBar1 = 1001, Label1, StartBtn, ListBox1, LabeledEdit1, AbBtn, Label2, Label4, Label3
};
}  // namespace extract_ids
