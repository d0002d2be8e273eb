// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Fault injection for the file services. Every system call the file services make
// first asks the injector; tests count the operations of a user action and then
// fail (or, for crash tests, end the process at) the k-th one.
namespace cardomine::platform::faults {

enum class Mode
{
    Fail,
    Crash,
    // A power cut in the middle of a write: when the armed operation is a write, only
    // the first sixteenth of its bytes (at least one) reaches the file, then the
    // process ends as in Crash. Any other operation crashes as in Crash.
    CutShort
};

// The exit status of a process ended by a Crash-mode fault.
inline constexpr int CrashExitCode = 77;

// Counts operations from zero again and clears any armed fault.
void reset();
// Number of operations since the last reset.
std::int64_t operationCount();
// The numbers of the operations since the last reset that were writes (the points
// where CutShort cuts).
const std::vector<std::int64_t> &writeOperations();
// The numbers of the operations since the last reset that may change a file or folder
// (a write, a rename, an unlink, an open that may create, ...). A kill at any other
// operation leaves the files as a kill at the next changing one does.
const std::vector<std::int64_t> &changingOperations();
// Makes operation number k (counting from 1 after the last reset) fail with
// errorCode, or end the process at once in Crash mode. Replaces any armed fault.
void arm(std::int64_t k, int errorCode, Mode mode = Mode::Fail);
// Arms a second fault beside the one arm() set, at a later operation m: a failure
// followed by another while the program cleans up after it (resealing, putting a
// torn write back), or by a crash there.
void armSecond(std::int64_t m, int errorCode, Mode mode = Mode::Fail);
// Runs action once, just before operation number k (counted as arm() counts them),
// as another program acting in the middle of one of ours would. The action's own
// file work must not go through the file services. reset() clears it.
void atOperation(std::int64_t k, std::function<void()> action);
// Runs action with the path of each file of a native folder that the file services are
// about to put a new version in place of, or delete, for a caller who read it (a vCard
// the sync pass rewrites or removes), just before they do, as another program writing
// that file at that moment would. The action's own file work must not go through the
// file services. reset() clears it.
void beforeReplacing(std::function<void(const QString &nativePath)> action);
// Called by the file services with each such path.
void replacing(const QString &nativePath);
// Whether a test has reset or armed the injector. The file services then make their
// system calls from one thread, in the same order at every run, so that operation k
// is the same operation each time.
bool watched();
// Clears what reset() clears and stops watching, so that the file services run as in a
// user's run (a large batch of new files on more than one thread); they go on counting.
void unwatch();
// Called by the file services before each system call: returns 0 to go on, or the
// error code the operation must fail with.
int check(const char *operation);

// Called by the file services with the length a write is about to pass: the length
// to write (cut in CutShort mode at the armed write).
std::size_t writeLength(std::size_t length);
// Called after each system call: ends the process once a write was cut short.
void afterCall();

} // namespace cardomine::platform::faults
