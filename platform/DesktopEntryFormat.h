// The text of an autostart desktop entry, both ways: the fields the autostart list reads
// from an entry (which anyone with write access to the autostart directory may have
// written), the entry written for a value, and the command-line quoting in between.
#pragma once

#include <string>
#include <vector>

namespace vd {

struct DesktopEntryFields {
  bool hasData = false;  // an X-Vellumdock-Data= line was there
  std::string data;      // its value, unescaped
  std::string exec;      // the Exec= value, unescaped
  bool hidden = false;   // Hidden=true: an entry switched off
};

// The fields of the [Desktop Entry] group; lines of other groups, comments and lines
// without "=" are passed over. CR LF line ends are taken too.
DesktopEntryFields ParseDesktopEntry(const std::string& content);
// The entry written for a value NAME with its Exec= value and its data as stored;
// parsing it gives back execValue and data exactly.
std::string FormatDesktopEntry(const std::string& name, const std::string& execValue, const std::string& data);
// An entry NAME that switches off the entry of that name in the lists it overrides.
std::string FormatHiddenDesktopEntry(const std::string& name);

// The arguments of a Windows command line: white space separates, double quotes group,
// 2n backslashes before a quote give n and the quote counts, 2n+1 give n and a literal
// quote, other backslashes are literal.
std::vector<std::string> SplitWindowsCommandLine(const std::string& line);
// One argument quoted for an Exec= line (before string escaping).
std::string QuoteExecArgument(const std::string& argument);

}  // namespace vd
