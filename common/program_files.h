#pragma once
// Names of the files that sit beside the programs and that more than one program opens
// or copies: the help page and the release notes.

namespace morvane {

// frontend/CMakeLists.txt copies these two files (from frontend/help/) under these names.
inline constexpr const char* kHelpFileName = "Tarvike_morvane.html";
inline constexpr const char* kReleaseNotesName = "whatsnew.txt";

}  // namespace morvane
