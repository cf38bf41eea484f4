// The terminal on standard error, shared by a status line redrawn in place
// and by text printed under it, from different parts of a program. The
// status line is ended before other text goes there, so that text never
// lands inside it.
#pragma once

#include <string>
#include <string_view>

namespace traskel {

// Text as a terminal may show it: control characters (C0 but tab, DEL, C1)
// and bytes that are no UTF-8 become \xNN, and the bidirectional controls
// \uNNNN, so text from a file can't steer the terminal or make a line
// read backwards. With keepLineBreaks, CR LF, a lone CR and LF each become
// one LF; without, they are escaped like the rest.
std::string TerminalText(std::string_view text, bool keepLineBreaks);

// The bidirectional control (U+202A to U+202E, U+2066 to U+2069) whose UTF-8
// starts at text[i], or 0 when none does. They reorder the rest of a line.
char32_t BidiControlAt(std::string_view text, std::size_t i);

namespace console {

// True when standard error is a terminal.
bool IsTerminal();
// Shows text as the status line, redrawn in place, fitted to the
// terminal's width; redrawn at most every 40 ms.
void ShowStatus(std::string_view text);
// Shows text at the start of the status line, before the status text, so
// that a long task's progress and a status text from elsewhere share the
// line without overwriting each other; empty text takes it away again.
void ShowStatusPrefix(std::string_view text);
// Removes the status line.
void ClearStatus();
// Ends the status line with its latest text, so that what follows starts
// on a line of its own.
void EndStatus();

}  // namespace console

}  // namespace traskel
