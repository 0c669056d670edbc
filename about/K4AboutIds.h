// Control ids of the about window: programs that drive or read it through window
// messages find its controls with GetDlgItem.
#pragma once

namespace about_ids {
inline constexpr int OKButton = 1201;
inline constexpr int Panel1 = 1202;
inline constexpr int ProgramIcon = 1203;
inline constexpr int ProductName = 1204;
inline constexpr int Version = 1205;
inline constexpr int Copyright = 1206;
inline constexpr int weblabel = 1207;
inline constexpr int Label1 = 1208;
}  // namespace about_ids
