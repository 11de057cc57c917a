// The ways of converting the files a pass takes: one after the other in this process
// (SerialConversion, the window's way), or several at once in lanes (LaneConversion). The
// cycle treats both alike: it starts a file when there is room, and takes back each file
// whose conversion has ended with its outcome, decided by ConvertFile wherever it ran.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "server/FileConversion.h"
#include "server/FileInHand.h"

namespace vd {

struct ConversionEnded {
  FileInHand file;
  // The PDF checked whole, or why there is none; a script run that met a stop between its
  // entries (stopFound) decides nothing, and the script stays for the next start.
  ConversionOutcome outcome;
};

class ConversionWay {
 public:
  virtual ~ConversionWay() = default;

  // Once the folders are claimed: what the conversions need (an engine) is made now.
  virtual void begin() {}
  // Once the cycle ends: what begin made goes.
  virtual void end() {}
  // True when another file can be started now.
  virtual bool hasRoom() const = 0;
  // The lane the next start() converts in, while there is room.
  virtual std::size_t nextLane() const { return 0; }
  virtual void start(FileInHand file) = 0;
  // Waits up to the given milliseconds for a conversion to end and returns it.
  virtual std::optional<ConversionEnded> next(int milliseconds) = 0;
  // True while a file started has not been taken back by next().
  virtual bool busy() const = 0;
  // True when the lines of several files interleave, so each line must name its file.
  virtual bool interleaves() const = 0;
};

}  // namespace vd
