// Looking inside what the program made: the sample corpus, page counts and text of PDFs
// through the real qpdf and pdftotext, and plain file reads, shared by every test area.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vd::test {

// A file of the sample corpus: $VELLUMDOCK_CORPUS_DIR, else the repository's own copy
// in tests/data/corpus (its MANIFEST.md says where each file came from).
std::string Corpus(const std::string& relative);
int PageCount(const std::string& pdf);
// pdftotext of the whole document, pages separated by form feeds.
std::string PdfText(const std::string& pdf);
std::vector<std::string> PageTexts(const std::string& pdf);
bool IsLinearized(const std::string& pdf);
// Pixels darker than light grey on pages first to last (last 0: to the end), drawn in grey
// at dpi by pdftoppm; -1 when the PDF cannot be drawn. The drawings go to prefix-*.pgm.
long InkOf(const std::string& pdf, const std::string& prefix, int dpi, int first = 1, int last = 0);
// A PDF of one page per text; with bookmarks, an outline item "Mark <text>" for each page. Returns path.
std::string MakeTextPdf(const std::string& path, const std::vector<std::string>& pageTexts, bool bookmarks = false);
// Exit code of a program run without a shell (-1 when it did not end normally or within
// its bound), input written to its standard input, which is then closed; in the given
// working directory, else in this program's.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments, std::string* output = nullptr,
               std::string* errors = nullptr, const std::string& input = {}, int boundSeconds = 120,
               const std::string& workingDirectory = {});
// Standard output of a program run without a shell, whatever its exit code.
std::string ProgramOutput(const std::string& program, const std::vector<std::string>& arguments);
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
// Moves a file's modification time the given seconds back; a settled file's lies a minute
// back, so the scan cycle does not take it for a file still being written.
void Backdate(const std::string& path, int seconds);
void WriteSettledFile(const std::string& path, const std::string& content);
void CopySettledFile(const std::string& from, const std::string& to);
bool FileExistsOnDisk(const std::string& path);
// The permission bits of a path (links not followed); -1 when there is nothing.
int FileMode(const std::string& path);
// Expects each part somewhere in text, naming the missing ones with the whole text.
void ExpectContainsAll(const std::string& text, const std::vector<std::string>& parts);
// The description of the engine error the action raises. The test fails when it raises
// none, another kind of error, or one without the engine's own number and source.
std::string EngineErrorOf(const std::function<void()>& action);
// The names in a directory, dot-files included, sorted.
std::vector<std::string> DirectoryEntries(const std::string& directory);

}  // namespace vd::test
