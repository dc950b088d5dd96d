// The debug-event loop of a debugger that only listens: every event is let
// through, exceptions go back to the debuggee's own handlers, and the
// debugger stream's texts are read from the debuggee's memory.

#include <windows.h>

#include "DebuggeeRun.h"

#include <fstream>
#include <sstream>

namespace rdrload::testing {

namespace {

// How long the debuggee has to report its end once it has been ended.
constexpr DWORD kEndingMs = 5000;

std::string thisProgram()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : 0);
}

// A temporary file the debuggee inherits as its standard output and error.
class OutputFile {
public:
    OutputFile()
    {
        char folder[MAX_PATH];
        char name[MAX_PATH];
        if (::GetTempPathA(MAX_PATH, folder) == 0 ||
            ::GetTempFileNameA(folder, "dbg", 0, name) == 0)
            return;
        path_ = name;
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        handle_ = ::CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    }
    ~OutputFile()
    {
        close();
        if (!path_.empty())
            ::DeleteFileA(path_.c_str());
    }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    HANDLE handle() const { return handle_; }
    void close()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    std::string text() const
    {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The text of an OUTPUT_DEBUG_STRING_EVENT, up to its terminating zero.
std::string debugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO &info)
{
    const std::size_t units = info.nDebugStringLength;
    SIZE_T read = 0;
    std::string text;
    if (info.fUnicode) {
        std::wstring wide(units, L'\0');
        ::ReadProcessMemory(process, info.lpDebugStringData, wide.data(), units * sizeof(wchar_t),
                            &read);
        wide.resize(read / sizeof(wchar_t));
        wide.resize(wide.find(L'\0') == std::wstring::npos ? wide.size() : wide.find(L'\0'));
        const int bytes = ::WideCharToMultiByte(
            CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        text.resize(static_cast<std::size_t>(bytes));
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                              bytes, nullptr, nullptr);
        return text;
    }
    text.resize(units);
    ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), units, &read);
    text.resize(read);
    return text.substr(0, text.find('\0'));
}

} // namespace

DebuggeeRun::DebuggeeRun(const std::string &arguments, uint32_t timeoutMs)
{
    OutputFile output;
    if (output.handle() == INVALID_HANDLE_VALUE)
        return;
    std::string commandLine = "\"" + thisProgram() + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.handle();
    startup.hStdError = output.handle();
    PROCESS_INFORMATION process{};
    started_ = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &startup, &process);
    output.close();
    if (!started_)
        return;

    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    bool ending = false; // ended by this loop, after the time ran out
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD wait = ending ? kEndingMs : (now < deadline ? DWORD(deadline - now) : 0);
        DEBUG_EVENT event{};
        if (!::WaitForDebugEvent(&event, wait)) {
            if (ending)
                break;
            ::TerminateProcess(process.hProcess, 1);
            ending = true;
            continue;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT:
            debugStrings_.push_back(debugString(process.hProcess, event.u.DebugString));
            break;
        case EXCEPTION_DEBUG_EVENT:
            // The loader's breakpoint at the start is the debugger's to pass;
            // every other exception is the debuggee's own.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile != nullptr)
                ::CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile != nullptr)
                ::CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            exited_ = !ending;
            exitCode_ = event.u.ExitProcess.dwExitCode;
            break;
        default:
            break;
        }
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            break;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    output_ = output.text();
}

} // namespace rdrload::testing
