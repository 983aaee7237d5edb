#include "interrupt_cleanup.h"

#include "paths.h"

#include <csignal>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <cwchar>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fileio {

namespace {

constexpr int kSignals[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
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

void install()
{
    if (installed)
        return;
    installed = true;
    for (const int sig : kSignals) {
#ifdef _WIN32
        std::signal(sig, onInterrupt);
#else
        // A signal the parent chose to ignore (nohup) stays ignored.
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
#endif
    }
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

} // namespace fileio
