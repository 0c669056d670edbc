// Control ids of the extractor window: programs that drive it through window
// messages find its controls with GetDlgItem.
#pragma once

namespace extract_ids {
inline constexpr int ProgressBar1 = 1001;
inline constexpr int Label1 = 1002;
inline constexpr int StartBtn = 1003;
inline constexpr int ListBox1 = 1004;
inline constexpr int LabeledEdit1 = 1005;
inline constexpr int AbBtn = 1006;
inline constexpr int Label2 = 1007;
inline constexpr int Label4 = 1008;
inline constexpr int Label3 = 1009;
}  // namespace extract_ids
