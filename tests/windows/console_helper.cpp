// What scripts/windows-check.sh cannot do from Linux, done from inside Wine:
//
//   console-helper paste LINE
//     runs LINE as if typed at cmd.exe's prompt (cmd /d /s /c "LINE": with
//     /s, what is between the outer quotes is taken as it is) and exits with
//     its status.
//   console-helper interrupt ctrl-c|ctrl-break|close FOLDER LINE
//     starts the command LINE on a console of its own, waits until a
//     temporary file (.NAME.tmp-*) in FOLDER holds some bytes, delivers the
//     console event to the command and waits for it to end. Prints "status
//     N", its exit status; exits 0, or 2 when it ended before a temporary was
//     seen, or 1 when it could not be started or the event not delivered.
//
// Ctrl+C goes through GenerateConsoleCtrlEvent to every process of the
// console, this one included, which takes it without ending. Ctrl+Break and
// closing the console are delivered as the console itself delivers them, by a
// thread started in the command at the system's CtrlRoutine (Wine's
// GenerateConsoleCtrlEvent passes on Ctrl+C only).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

bool start(std::wstring line, PROCESS_INFORMATION* process)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process))
        return true;
    std::fprintf(stderr, "console-helper: cannot start the command (error %lu)\n", GetLastError());
    return false;
}

DWORD waitFor(const PROCESS_INFORMATION& process)
{
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    return status;
}

// Whether a temporary in `folder` holds bytes: the command is writing it.
bool writingTemporary(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\.*.tmp-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool writing = false;
    do
        writing = found.nFileSizeLow != 0 || found.nFileSizeHigh != 0;
    while (!writing && FindNextFileW(search, &found));
    FindClose(search);
    return writing;
}

BOOL WINAPI keepRunning(DWORD)
{
    return TRUE;
}

bool deliver(DWORD event, const PROCESS_INFORMATION& process)
{
    if (event == CTRL_C_EVENT)
        return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
    const HANDLE thread =
        routine ? CreateRemoteThread(process.hProcess, nullptr, 0, routine,
                                     reinterpret_cast<void*>(static_cast<DWORD_PTR>(event)), 0, nullptr)
                : nullptr;
    if (thread)
        CloseHandle(thread);
    return thread != nullptr;
}

int interrupt(DWORD event, const std::wstring& folder, const std::wstring& line)
{
    // A console of our own, which Ctrl+C can be sent to under Wine.
    FreeConsole();
    AllocConsole();
    SetConsoleCtrlHandler(keepRunning, TRUE);
    PROCESS_INFORMATION process{};
    if (!start(line, &process))
        return 1;
    bool seen = false;
    while (!seen && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        seen = writingTemporary(folder);
    const bool delivered = seen && deliver(event, process);
    if (seen && !delivered)
        std::fprintf(stderr, "console-helper: the event was not delivered (error %lu)\n", GetLastError());
    std::printf("status %lu\n", waitFor(process));
    return !seen ? 2 : delivered ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"paste" && argc == 3) {
        PROCESS_INFORMATION process{};
        if (!start(L"cmd.exe /d /s /c \"" + std::wstring(argv[2]) + L"\"", &process))
            return 1;
        return static_cast<int>(waitFor(process));
    }
    const std::wstring event = argc > 2 ? argv[2] : L"";
    if (mode == L"interrupt" && argc == 5 &&
        (event == L"ctrl-c" || event == L"ctrl-break" || event == L"close"))
        return interrupt(event == L"ctrl-c"       ? CTRL_C_EVENT
                         : event == L"ctrl-break" ? CTRL_BREAK_EVENT
                                                  : CTRL_CLOSE_EVENT,
                         argv[3], argv[4]);
    std::fprintf(stderr, "usage: console-helper paste LINE\n"
                         "       console-helper interrupt ctrl-c|ctrl-break|close FOLDER LINE\n");
    return 1;
}
