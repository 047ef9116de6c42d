// Runs the built Ardex program as a child process and captures what it says.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace ardex_test {

struct RunResult {
    bool started = false;
    int exitCode = -1;
    // UTF-8, line breaks as "\n" (a Windows program's CR LF and ANSI code page undone).
    std::string out;
    std::string err;
};

// arguments: as the user types them (no quoting needed); input: UTF-8 text for the
// program's standard input, closed after it; workingDir: the child's current directory
// when not empty. A run that takes longer than a minute is killed.
RunResult RunArdexProcess(const std::vector<std::u16string>& arguments, const std::string& input = {},
                          const std::filesystem::path& workingDir = {});

}  // namespace ardex_test
