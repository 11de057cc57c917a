#include "support/ContentChecks.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QProcess>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "common/EngineError.h"
#include "common/Environment.h"

namespace vd::test {

std::string Corpus(const std::string& relative) {
  const std::string overridden = environmentText("VELLUMDOCK_CORPUS_DIR");
  return (overridden.empty() ? std::string(VD_CORPUS_DIR) : overridden) + "/" + relative;
}

int PageCount(const std::string& pdf) {
  QPDF document;
  document.setSuppressWarnings(true);
  document.processFile(pdf.c_str());
  return static_cast<int>(document.getAllPages().size());
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments, std::string* output,
               std::string* errors, const std::string& input, int boundSeconds, const std::string& workingDirectory) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  QProcess process;
  if (!workingDirectory.empty()) process.setWorkingDirectory(QString::fromStdString(workingDirectory));
  process.start(QString::fromStdString(program), list);
  if (!process.waitForStarted(30000)) return -1;
  process.write(input.data(), static_cast<qint64>(input.size()));
  process.closeWriteChannel();
  if (!process.waitForFinished(boundSeconds * 1000)) return -1;
  if (output != nullptr) *output = process.readAllStandardOutput().toStdString();
  if (errors != nullptr) *errors = process.readAllStandardError().toStdString();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::string ProgramOutput(const std::string& program, const std::vector<std::string>& arguments) {
  std::string output;
  RunProgram(program, arguments, &output);
  return output;
}

std::string PdfText(const std::string& pdf) { return ProgramOutput("pdftotext", {"-layout", pdf, "-"}); }

std::vector<std::string> PageTexts(const std::string& pdf) {
  std::vector<std::string> pages;
  std::stringstream all(PdfText(pdf));
  for (std::string page; std::getline(all, page, '\f');) {
    const auto first = page.find_first_not_of(" \n");
    const auto last = page.find_last_not_of(" \n");
    pages.push_back(first == std::string::npos ? std::string() : page.substr(first, last - first + 1));
  }
  if (!pages.empty() && pages.back().empty()) pages.pop_back();
  return pages;
}

bool IsLinearized(const std::string& pdf) {
  std::string output;
  return RunProgram("qpdf", {"--check-linearization", pdf}, &output) == 0 &&
         output.find("no linearization errors") != std::string::npos;
}

long InkOf(const std::string& pdf, const std::string& prefix, int dpi, int first, int last) {
  std::vector<std::string> arguments = {"-gray", "-r", std::to_string(dpi), "-f", std::to_string(first)};
  if (last > 0) arguments.insert(arguments.end(), {"-l", std::to_string(last)});
  arguments.insert(arguments.end(), {pdf, prefix});
  if (RunProgram("pdftoppm", arguments) != 0) return -1;
  const std::string folder = std::filesystem::path(prefix).parent_path().string();
  const std::string stem = std::filesystem::path(prefix).filename().string() + "-";
  long ink = 0;
  for (const std::string& name : DirectoryEntries(folder)) {
    if (name.rfind(stem, 0) != 0 || name.size() < 4 || name.compare(name.size() - 4, 4, ".pgm") != 0) continue;
    const std::string image = ReadBytes(folder + "/" + name);
    std::filesystem::remove(folder + "/" + name);
    // "P5\n<width> <height>\n255\n" and the samples.
    std::size_t at = 0;
    for (int lines = 0; lines < 3 && at != std::string::npos; ++lines) at = image.find('\n', at + 1);
    if (at == std::string::npos) return -1;
    ink += std::count_if(image.begin() + static_cast<long>(at) + 1, image.end(),
                         [](char sample) { return static_cast<unsigned char>(sample) < 200; });
  }
  return ink;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Backdate(const std::string& path, int seconds) {
  const timespec past[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
  utimensat(AT_FDCWD, path.c_str(), past, 0);
}

void WriteSettledFile(const std::string& path, const std::string& content) {
  WriteBytes(path, content);
  Backdate(path, 60);
}

void CopySettledFile(const std::string& from, const std::string& to) { WriteSettledFile(to, ReadBytes(from)); }

bool FileExistsOnDisk(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

int FileMode(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

void ExpectContainsAll(const std::string& text, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in:\n" << text;
}

std::vector<std::string> DirectoryEntries(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code missing;
  for (const auto& entry : std::filesystem::directory_iterator(directory, missing)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string EngineErrorOf(const std::function<void()>& action) {
  try {
    action();
    ADD_FAILURE() << "no engine error raised";
  } catch (const EngineError& error) {
    EXPECT_EQ(error.number(), EngineError::kNumber);
    EXPECT_EQ(error.source(), EngineError::kSource);
    return error.description();
  } catch (const std::exception& error) {
    ADD_FAILURE() << "not an engine error: " << error.what();
  }
  return {};
}

std::string MakeTextPdf(const std::string& path, const std::vector<std::string>& pageTexts, bool bookmarks) {
  QPDF document;
  document.emptyPDF();
  // An object is named in another's text by its unparsed form, "N 0 R".
  const auto make = [&document](const std::string& text) {
    return document.makeIndirectObject(QPDFObjectHandle::parse(&document, text));
  };
  const auto quoted = [](const std::string& text) { return QPDFObjectHandle::newString(text).unparse(); };
  QPDFObjectHandle outlines = make("<< /Type /Outlines >>");
  std::vector<QPDFObjectHandle> items;
  for (const std::string& text : pageTexts) {
    QPDFObjectHandle contents = document.newStream("BT /F1 24 Tf 72 700 Td " + quoted(text) + " Tj ET\n");
    QPDFObjectHandle page = make("<< /Type /Page /MediaBox [0 0 612 792] /Contents " + contents.unparse() +
                                 " /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica"
                                 " /Encoding /WinAnsiEncoding >> >> >> >>");
    QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(page), false);
    const std::string previous = items.empty() ? std::string() : " /Prev " + items.back().unparse();
    items.push_back(make("<< /Title " + quoted("Mark " + text) + previous + " /Parent " + outlines.unparse() +
                         " /Dest [" + page.unparse() + " /Fit] >>"));
    if (items.size() > 1) items[items.size() - 2].replaceKey("/Next", items.back());
  }
  if (bookmarks && !items.empty()) {
    outlines.replaceKey("/First", items.front());
    outlines.replaceKey("/Last", items.back());
    outlines.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(items.size())));
    document.getRoot().replaceKey("/Outlines", outlines);
  }
  QPDFWriter(document, path.c_str()).write();
  return path;
}

}  // namespace vd::test
