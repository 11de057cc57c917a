// Pairs a print job's dialogs with the keystroke helpers started for that job. Before the
// engine starts its helpers it opens a fresh print session: a random token in this
// process's environment, which the helpers and any program that prints for the job
// inherit, and which a printer driver running in this process reads as well. A driver's
// dialog carries the token in its window class; a helper answers only a dialog of its own
// session. A helper left over from an earlier job (whose printing failed) therefore never
// types its path into a later job's dialog. A dialog opened outside any session (printing
// by hand) is answered only by a helper started outside one.
#pragma once

#include <string>

namespace vd {

inline constexpr const char* kPrintSessionVariable = "VELLUMDOCK_PRINT_SESSION";

// Sets a new token in the environment and returns it.
std::string beginPrintSession();
// The token of this process's session; "" outside one.
std::string currentPrintSession();
// The window class of a print dialog opened in the given session.
std::string printDialogClass(const std::string& session);

}  // namespace vd
