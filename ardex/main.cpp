// Ardex's entry point: decodes the arguments, runs the one job, maps the outcome to the
// exit code. Nothing deeper ends the process.
#include <clocale>
#include <new>

#include "ardex/Ardex.h"
#include "platform/Console.h"

int main(int argc, char** argv) {
    // Arguments arrive in the user's locale encoding where the platform has one.
    std::setlocale(LC_ALL, "");
    try {
        const RunOutcome outcome = RunArdex(platform::CommandLineArguments(argc, argv));
        return outcome == RunOutcome::Completed ? 0 : 1;
    } catch (const std::bad_alloc&) {
        // Nothing below throws but allocation; never let it end the program unreported.
        PrintString(21);
        return 1;
    }
}
