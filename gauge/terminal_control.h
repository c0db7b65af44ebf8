#pragma once

// A line-based control for a terminal host, read from its standard input: scripts and
// tests press its keys and read its rows without a mouse.
//   press LSK1..LSK4 | RSK1..RSK4 | A..Z | SHIFT | ERASE | SPACE | ENTER | CAPTURE
//   key BACKSPACE | UP | DOWN | PAGEUP | PAGEDOWN | LEFT | ENTER   (captured keyboard keys)
//   type TEXT        each character as a captured keyboard key
//   rows             the nine rows, "row N|text|" each, then "end"
//   state            "state connected=0|1 mode=page1|page2|page3|typing capture=0|1"

#include <string>
#include <string_view>

#include "gauge/terminal.h"

namespace aviolog::gauge {

enum class ControlOutcome { Done, Quit, Unknown };

// Runs one control line; output gets what the line prints.
ControlOutcome runControl(Terminal& terminal, bool connected, std::string_view line,
                          std::string& output);

// What the host's rows show, as "rows" prints them.
std::string rowsText(const Terminal& terminal);

}  // namespace aviolog::gauge
