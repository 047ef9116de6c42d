#include <windows.h>

#include <thread>

#include "ArdexRunner.h"
#include "platform/Text.h"

namespace ardex_test {

namespace {

class Handle {
public:
    Handle() = default;
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE* Out() { return &m_handle; }
    HANDLE Get() const { return m_handle; }
    void Close() {
        if (m_handle) CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

// The program path CMake knows is the build machine's; under Wine drive Z: is "/".
std::wstring ProgramPath() {
    std::string path = ARDEX_PATH;
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    for (auto& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}

// Quotes one argument so the C runtime's parser gives it back unchanged.
std::wstring Quote(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::string Convert(const std::string& bytes, UINT from, UINT to) {
    if (bytes.empty()) return {};
    const int units = MultiByteToWideChar(from, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(from, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), units);
    const int size = WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(to, 0, wide.data(), units, out.data(), size, nullptr, nullptr);
    return out;
}

std::string Normalise(const std::string& ansi) {
    std::string text = Convert(ansi, CP_ACP, CP_UTF8);
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

void Drain(HANDLE pipe, std::string& into) {
    char buffer[4096];
    DWORD done = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &done, nullptr) && done > 0) into.append(buffer, done);
}

}  // namespace

RunResult RunArdexProcess(const std::vector<std::u16string>& arguments, const std::string& input,
                          const std::filesystem::path& workingDir) {
    RunResult result;
    const std::wstring program = ProgramPath();
    std::wstring commandLine = Quote(program);
    for (const auto& argument : arguments) {
        commandLine += L' ';
        commandLine += Quote(std::wstring(argument.begin(), argument.end()));
    }

    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    Handle inRead, inWrite, outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(inRead.Out(), inWrite.Out(), &inherit, 0) ||
        !CreatePipe(outRead.Out(), outWrite.Out(), &inherit, 0) ||
        !CreatePipe(errRead.Out(), errWrite.Out(), &inherit, 0)) {
        return result;
    }
    SetHandleInformation(inWrite.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.Get();
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = errWrite.Get();
    PROCESS_INFORMATION process{};
    const std::wstring directory = workingDir.wstring();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        return result;
    }
    result.started = true;
    CloseHandle(process.hThread);
    inRead.Close();
    outWrite.Close();
    errWrite.Close();

    // The program reads its input in its ANSI code page, as from a redirected file.
    const std::string ansiInput = Convert(input, CP_UTF8, CP_ACP);
    std::thread writer([&] {
        DWORD done = 0;
        if (!ansiInput.empty()) WriteFile(inWrite.Get(), ansiInput.data(), static_cast<DWORD>(ansiInput.size()), &done, nullptr);
        inWrite.Close();
    });
    std::string out, err;
    std::thread outReader([&] { Drain(outRead.Get(), out); });
    std::thread errReader([&] { Drain(errRead.Get(), err); });
    const bool finished = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    if (!finished) TerminateProcess(process.hProcess, 259);
    outReader.join();
    errReader.join();
    writer.join();
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    result.exitCode = finished ? static_cast<int>(code) : -2;
    result.out = Normalise(out);
    result.err = Normalise(err);
    return result;
}

}  // namespace ardex_test
