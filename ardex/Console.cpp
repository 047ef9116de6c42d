// What Ardex says on the console, for itself, for the core and for the secure delete engine.
#include "ardex/Ardex.h"
#include "platform/Console.h"

namespace {

// A line longer than this is not an answer the question can take.
constexpr size_t kMaxAnswerChars = 99;

// A core message about one path, named the way the user knows it.
void PrintPathString(int id, const CoreMessageArgs& args) { PrintString(id, {DisplayPath(args.path)}); }

bool IsAnswer(const std::u16string& line, char16_t upper) {
    return line.size() == 1 && (line[0] == upper || line[0] == upper + (u'a' - u'A'));
}

}  // namespace

void PrintString(int id, std::initializer_list<FormatArg> args) {
    platform::WriteLine(FormatText(ArdexString(id), args));
}

void ArdexFrontEnd::ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) {
    switch (role) {
    case CoreMessage::ImageCreateFailed:
        PrintString(19);
        break;
    case CoreMessage::SourceFileFailed:
        PrintString(20, {DisplayPath(args.path)});
        break;
    case CoreMessage::OutOfMemory:
        PrintString(21);
        break;
    case CoreMessage::WrongPassword:
        PrintString(15);
        break;
    case CoreMessage::ErrorLimitReached:
        PrintString(37, {args.numbers[0]});
        break;
    case CoreMessage::DecryptLimitReached:
        PrintString(34, {args.numbers[0]});
        break;
    case CoreMessage::ImageExpired:
        PrintString(35, {args.numbers[0], args.numbers[1], args.numbers[2]});
        break;
    case CoreMessage::ImageOpenFailed: PrintPathString(40, args); break;
    case CoreMessage::ImageDamaged: PrintPathString(41, args); break;
    case CoreMessage::NotAnImage: PrintPathString(42, args); break;
    case CoreMessage::NoTempFolder: PrintString(43); break;
    case CoreMessage::TableCopyFailed: PrintPathString(44, args); break;
    case CoreMessage::EntryUnsafePath: PrintPathString(45, args); break;
    case CoreMessage::EntryDeviceName: PrintPathString(46, args); break;
    case CoreMessage::EntryTooLong: PrintPathString(47, args); break;
    case CoreMessage::EntryThroughLink: PrintPathString(48, args); break;
    case CoreMessage::EntryDataDamaged: PrintPathString(49, args); break;
    case CoreMessage::TargetNotAFile: PrintPathString(50, args); break;
    case CoreMessage::TargetCreateFailed: PrintPathString(51, args); break;
    case CoreMessage::TargetWriteFailed: PrintPathString(52, args); break;
    }
}

OverwriteAnswer ArdexFrontEnd::AskOverwrite(const std::u16string& path) {
    const std::u16string shown = DisplayPath(path);
    for (;;) {
        PrintString(8, {shown});
        std::u16string line;
        // Nobody is left to answer: keep what exists.
        if (!platform::ReadLine(line)) return OverwriteAnswer::No;
        if (line.size() > kMaxAnswerChars) continue;
        if (IsAnswer(line, u'Y')) return OverwriteAnswer::Yes;
        if (IsAnswer(line, u'N')) return OverwriteAnswer::No;
    }
}

void ArdexFrontEnd::FileStarted(const std::u16string& path) { platform::WriteLine(DisplayPath(path)); }

void ArdexDeleteReporter::RunStarted(const std::u16string& path) { PrintString(36, {DisplayPath(path)}); }

void ArdexDeleteReporter::OutOfMemory() { PrintString(21); }

void ArdexDeleteReporter::BarStep() { platform::WriteText(u">"); }

void ArdexDeleteReporter::BarEnd() { platform::WriteLine(u""); }
