#pragma once
// Numbers both programs agree on for the progress link: window title, mailbox control
// ids, messages and message-box flags.

#include <cstdint>

namespace morvane {

inline constexpr const char* kMonitorTitle = "Tarvik_morvane Monitor";

inline constexpr int IDC_RUN_FILE_TEXT = 1049;
inline constexpr int IDC_RUN_STATUS_TEXT = 1050;

inline constexpr std::uint32_t WM_SETTEXT = 12;
inline constexpr std::uint32_t WM_COMMAND = 273;
inline constexpr std::int64_t IDM_RUN_START = 1240;
inline constexpr std::int64_t IDM_RUN_PROGRESS = 1241;
inline constexpr std::uint32_t WM_RUN_FILE = 1242;
inline constexpr std::uint32_t WM_RUN_STATUS = 1243;
inline constexpr std::uint32_t WM_RUN_END = 1244;
inline constexpr std::uint32_t WM_LINK_MESSAGE_BOX = 32769;

// Message-box flags and answers, as the Windows MessageBox has them.
inline constexpr std::int64_t MB_OK = 0x00;
inline constexpr std::int64_t MB_OKCANCEL = 0x01;
inline constexpr std::int64_t MB_YESNO = 0x04;
inline constexpr std::int64_t MB_ICONERROR = 0x10;
inline constexpr std::int64_t MB_ICONQUESTION = 0x20;
inline constexpr std::int64_t MB_ICONWARNING = 0x30;
inline constexpr std::int64_t MB_ICONINFORMATION = 0x40;
inline constexpr std::int64_t MB_YESNO_ICONQUESTION = MB_YESNO | MB_ICONQUESTION;
inline constexpr std::int64_t IDOK = 1;
inline constexpr std::int64_t IDCANCEL = 2;
inline constexpr std::int64_t IDYES = 6;
inline constexpr std::int64_t IDNO = 7;

}  // namespace morvane
