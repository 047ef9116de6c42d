// Child program of Console_test: prints each argument on its own line, then every line of
// standard input in angle brackets, then "end" on standard error.
#include <clocale>

#include "platform/Console.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    for (const auto& argument : platform::CommandLineArguments(argc, argv)) platform::WriteLine(argument);
    std::u16string line;
    while (platform::ReadLine(line)) platform::WriteLine(u"<" + line + u">");
    platform::WriteText(u"no line break");
    platform::WriteErrorLine(u"end");
    return 0;
}
