// Control ids of the error window: programs that drive or read it through window
// messages find its controls with GetDlgItem.
#pragma once

namespace error_ids {
inline constexpr int Memo1 = 1101;
inline constexpr int Button1 = 1102;
inline constexpr int Label1 = 1103;
inline constexpr int Label2 = 1104;
}  // namespace error_ids
