// The engine's events, as its public interface (engine/CreatePDF.h) declares them. A client
// derives from this and overrides what it wants; every event is raised on the calling
// thread, inside the running operation.
#pragma once

#include <cstdint>
#include <string>

namespace vd {

class CreatePDFEvents {
 public:
  virtual ~CreatePDFEvents() = default;
  virtual void JobStart(std::string& /*strInputPostScript*/, std::string& /*strOutputPDF*/) {}
  virtual void JobDone(std::string& /*strInputPostScript*/, std::string& /*strOutputPDF*/) {}
  virtual void JobFail(std::string& /*strInputPostScript*/, std::string& /*strOutputPDF*/) {}
  virtual void LogMessage(std::string& /*strMessage*/) {}
  virtual void PercentDone(std::int32_t& /*nPercentDone*/) {}
  virtual void PageNumber(std::int32_t& /*nPageNumber*/) {}
};

}  // namespace vd
