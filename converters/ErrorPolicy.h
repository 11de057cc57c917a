// The engine's error policy for the cleanup of an operation: whatever went wrong reaches
// the caller as an EngineError with the program's title as source, keeping the number
// and description it had. Outside objects are released by their owners' destructors
// before the error leaves the operation.
#pragma once

#include <memory>

namespace vd {

// Only inside a catch block: raises the error being handled again as an engine error.
[[noreturn]] void RaiseAgain();

// The clean-up after a failed conversion: the document closed, then the application
// quit. A failure while cleaning up is the one reported; it ends the clean-up.
template <class Document, class Application, class Close>
void closeThenQuit(std::unique_ptr<Document>& document, std::unique_ptr<Application>& application, Close close) {
  try {
    if (document) {
      close(*document);
      document.reset();
    }
    if (application) {
      application->Quit();
      application.reset();
    }
  } catch (...) {
    RaiseAgain();
  }
}

}  // namespace vd
