// Ardex's entry point: decodes the arguments, runs the one job, maps the outcome to the
// exit code. Nothing deeper ends the process.
#include <clocale>
#include <new>

#include "ardex/Ardex.h"
#include "platform/Console.h"

namespace {

// The codes scripts rely on (README.md lists them).
int ExitCode(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Succeeded:
        return 0;
    case RunOutcome::InitialisationFailed:
        return 1;
    case RunOutcome::InvalidCommand:
        return 2;
    case RunOutcome::JobFailed:
        return 3;
    }
    return 3;
}

}  // namespace

int main(int argc, char** argv) {
    // Arguments arrive in the user's locale encoding where the platform has one.
    std::setlocale(LC_ALL, "");
    try {
        return ExitCode(RunArdex(platform::CommandLineArguments(argc, argv)));
    } catch (const std::bad_alloc&) {
        // Nothing below throws but allocation; never let it end the program unreported.
        PrintString(21);
        return ExitCode(RunOutcome::JobFailed);
    }
}
