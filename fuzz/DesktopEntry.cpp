// The desktop-entry reader of the autostart list (anyone who may write the autostart
// directory writes its input), and the entry written for a value, which must read back
// as the value that was stored.
#include "fuzz/FuzzTargets.h"

#include "platform/AutostartEntries.h"
#include "platform/DesktopEntryFormat.h"

namespace vd::fuzz {

int FuzzDesktopEntry(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = BytesOf(data, size);
  const DesktopEntryFields read = ParseDesktopEntry(bytes);
  if (!read.hasData) Require(read.data.empty(), "no data without a data line");

  // The same bytes as a command line stored in the autostart list (a value holds no zero).
  if (bytes.find('\0') == std::string::npos) {
    const std::string exec = AutostartEntries::execValueFor(bytes);
    const DesktopEntryFields back = ParseDesktopEntry(FormatDesktopEntry("Vellumdock", exec, bytes));
    Require(back.hasData && back.data == bytes, "the stored command line reads back as written");
    Require(back.exec == exec, "the Exec= line reads back as written");
    Require(!back.hidden, "a written entry is not hidden");
    for (const std::string& argument : SplitWindowsCommandLine(bytes)) QuoteExecArgument(argument);
  }
  return 0;
}

}  // namespace vd::fuzz
