// The console of a command-line program: arguments, lines out, lines in.
#pragma once
#include <string>
#include <vector>

namespace platform {

// The program's arguments after its name, as UTF-16 (decoded from the locale on POSIX).
std::vector<std::u16string> CommandLineArguments(int argc, char** argv);
// One line to standard output, flushed. Intact on a Windows console (WriteConsoleW);
// in the ANSI code page on a pipe or file; in the locale's encoding on POSIX.
void WriteLine(std::u16string_view text);
// Text without a line break, flushed (progress bars).
void WriteText(std::u16string_view text);
void WriteErrorLine(std::u16string_view text);
// One line from standard input without its line end; false at end of input.
bool ReadLine(std::u16string& line);

}  // namespace platform
