// The temporary file an output is being written to, removed when a signal
// that would end the process arrives (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU; on Windows Ctrl+C,
// Ctrl+Break and closing the console), before the process dies of the same
// signal, so that an interrupted run leaves no hidden file behind. A signal
// ignored, or handled by someone else, when the handlers are installed is
// left so. Faults of the program itself (SIGSEGV and the like) are not
// caught, and SIGKILL cannot be: after it a temporary may remain.
#ifndef FILEIO_INTERRUPT_CLEANUP_H
#define FILEIO_INTERRUPT_CLEANUP_H

#include <csignal>
#include <system_error>

namespace fileio {

// While a SignalsHeld is alive, those signals are held back (on Windows, the
// handlers wait), so that a temporary is created and registered in one step.
// Not nested.
class SignalsHeld {
  public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    bool held_ = false; // the mask to restore is kept aside: one is alive at a time
};

// Registers `name` as the temporary to remove; installs the handlers the
// first time. False when the name is too long to register (nothing done).
bool registerTemporary(const char* name);
void unregisterTemporary();

// Renames the registered temporary `temp` to `name` and unregisters it, in one
// step as a handler sees it: it removes the temporary before the rename or
// finds nothing to remove (on Windows, whose handlers run beside the main
// thread, a removal during the rename could take the file just put in place).
// False with `*error` set, and the temporary still registered, when the
// rename fails.
bool moveTemporary(const char* temp, const char* name, std::error_code* error);

// Removes the registered temporary now, if any: for a program that gives up
// for another reason (running out of memory).
void removeRegisteredTemporary();

// A write past the file-size limit (ulimit -f) fails with EFBIG, to be
// reported like any failed write, rather than ending the process by SIGXFSZ
// with a temporary left behind and the other files not cut. For the whole
// run: called at the program's start.
void ignoreFileSizeSignal();

} // namespace fileio

#endif
