#include "interrupt_cleanup.h"

#include "paths.h"

#include <csignal>
#include <cstring>
#include <string>

#ifdef _WIN32
#include "windows_api.h"

#include <cwchar>
#else
#include <unistd.h>
#endif

namespace fileio {

namespace {

// The signals whose default is to end the process and that may come from
// outside it: a user's key, kill, a closed terminal, a timer or a CPU limit.
constexpr int kSignals[] = {
    SIGINT, SIGTERM,
#ifndef _WIN32
    SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#endif
};

// What the handler reads: written only while signals are held (or before the
// flag is set), so it never sees half a name.
#ifdef _WIN32
wchar_t pendingName[32768];
#else
char pendingName[4096];
#endif
volatile std::sig_atomic_t pending = 0;
bool installed = false;

void removePending()
{
    if (!pending)
        return;
#ifdef _WIN32
    _wunlink(pendingName);
#else
    unlink(pendingName);
#endif
    pending = 0;
}

extern "C" void onInterrupt(int sig)
{
    removePending();
    // Die of the same signal, as an uncaught one would have made the process.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

#ifdef _WIN32
// Ctrl+Break, closing the console, logging off and shutting down reach a
// console program here, on a thread of their own; the system then ends the
// process. Ctrl+C goes on to the SIGINT handler.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT)
        removePending();
    return FALSE;
}
#endif

void install()
{
    if (installed)
        return;
    installed = true;
#ifdef _WIN32
    for (const int sig : kSignals)
        std::signal(sig, onInterrupt);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    // One call a signal: the handler goes in and the old disposition comes
    // back. A signal that was ignored (nohup) or had a handler of its own
    // (a program this code runs inside) gets it back at once; the signals are
    // held meanwhile (the caller holds them), and one that came in for an
    // ignored signal is discarded when SIG_IGN returns.
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int sig : kSignals) {
        struct sigaction old {};
        if (sigaction(sig, &action, &old) == 0 && old.sa_handler != SIG_DFL)
            sigaction(sig, &old, nullptr);
    }
#endif
}

} // namespace

SignalsHeld::SignalsHeld()
{
#ifndef _WIN32
    sigset_t block;
    sigemptyset(&block);
    for (const int sig : kSignals)
        sigaddset(&block, sig);
    held_ = sigprocmask(SIG_BLOCK, &block, &saved_) == 0;
#endif
}

SignalsHeld::~SignalsHeld()
{
#ifndef _WIN32
    if (held_)
        sigprocmask(SIG_SETMASK, &saved_, nullptr);
#endif
}

bool registerTemporary(const char* name)
{
    install();
    pending = 0;
#ifdef _WIN32
    const std::wstring wide = toPath(name).wstring();
    if (wide.size() >= sizeof pendingName / sizeof pendingName[0])
        return false;
    std::wmemcpy(pendingName, wide.c_str(), wide.size() + 1);
#else
    const std::size_t len = std::strlen(name);
    if (len >= sizeof pendingName)
        return false;
    std::memcpy(pendingName, name, len + 1);
#endif
    pending = 1;
    return true;
}

void unregisterTemporary()
{
    pending = 0;
}

void removeRegisteredTemporary()
{
    removePending();
}

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace fileio
