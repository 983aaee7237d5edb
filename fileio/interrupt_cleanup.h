// The temporary file an output is being written to, removed when the process
// is interrupted (SIGINT, SIGTERM, SIGHUP) before the process dies of the
// same signal, so that an interrupted run leaves no hidden file behind.
// SIGKILL cannot be caught: after it a temporary may remain.
#ifndef FILEIO_INTERRUPT_CLEANUP_H
#define FILEIO_INTERRUPT_CLEANUP_H

#include <csignal>

namespace fileio {

// While a SignalsHeld is alive, those signals are held back (on POSIX
// systems), so that a temporary is created and registered in one step.
class SignalsHeld {
  public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    bool held_ = false;
#ifndef _WIN32
    sigset_t saved_{}; // the mask to restore
#endif
};

// Registers `name` as the temporary to remove; installs the handlers the
// first time. False when the name is too long to register (nothing done).
bool registerTemporary(const char* name);
void unregisterTemporary();

// Removes the registered temporary now, if any: for a program that gives up
// for another reason (running out of memory).
void removeRegisteredTemporary();

} // namespace fileio

#endif
