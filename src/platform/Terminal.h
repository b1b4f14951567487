#pragma once

namespace qrt {

// The standard streams of a command-line front end.
enum : int { kStdOut = 1, kStdErr = 2 };

// Whether the descriptor is a terminal.
bool IsTerminal(int aDescriptor);
// The width of the terminal behind the descriptor in columns; 80 when it cannot be asked.
int TerminalColumns(int aDescriptor);

} // namespace qrt
