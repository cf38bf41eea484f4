// The titles of the program's message boxes, and of its main window.
#pragma once

namespace traskel {

// Title of a message box that names none: the program's name.
inline constexpr const char* kAppTitle = "Traskel";
// Caption of the main window, which has no area on screen; title of the intake's
// message boxes.
inline constexpr const char* kMainCaption = "Traskel nach Quorvex";
// Title of a check's report, as of the check's Start-menu shortcut "Export
// prüfen": a check sends nothing to the host.
inline constexpr const char* kCheckTitle = "Traskel – Export prüfen";

}  // namespace traskel
