#include "support/ContentChecks.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "engine/EngineError.h"

namespace vd::test {

std::string Corpus(const std::string& relative) {
  const char* overridden = std::getenv("VELLUMDOCK_CORPUS_DIR");
  const std::string root = overridden != nullptr && *overridden != '\0' ? std::string(overridden)
                                                                         : std::string(VD_CORPUS_DIR);
  return root + "/" + relative;
}

int PageCount(const std::string& pdf) {
  QPDF document;
  document.setSuppressWarnings(true);
  document.processFile(pdf.c_str());
  return static_cast<int>(document.getAllPages().size());
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments, std::string* output,
               std::string* errors, const std::string& input) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  QProcess process;
  process.start(QString::fromStdString(program), list);
  if (!process.waitForStarted(30000)) return -1;
  process.write(input.data(), static_cast<qint64>(input.size()));
  process.closeWriteChannel();
  if (!process.waitForFinished(120000)) return -1;
  if (output != nullptr) *output = process.readAllStandardOutput().toStdString();
  if (errors != nullptr) *errors = process.readAllStandardError().toStdString();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::string ProgramOutput(const std::string& program, const std::vector<std::string>& arguments) {
  std::string output;
  RunProgram(program, arguments, &output);
  return output;
}

std::string PdfText(const std::string& pdf) {
  return ProgramOutput("pdftotext", {"-layout", pdf, "-"});
}

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

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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
  if (DIR* handle = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(handle)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(handle);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string EngineErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EngineError& error) {
    EXPECT_EQ(error.number(), EngineError::kNumber);
    EXPECT_EQ(error.source(), EngineError::kSource);
    return error.description();
  } catch (const std::exception& error) {
    ADD_FAILURE() << "not an engine error: " << error.what();
    return {};
  }
  ADD_FAILURE() << "no engine error raised";
  return {};
}

namespace {

std::string PdfString(const std::string& text) {
  std::string escaped = "(";
  for (const char c : text) {
    if (c == '(' || c == ')' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped + ")";
}

}  // namespace

std::string MakeTextPdf(const std::string& path, const std::vector<std::string>& pageTexts, bool bookmarks) {
  QPDF document;
  document.emptyPDF();
  QPDFObjectHandle font = document.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  QPDFObjectHandle outlines = QPDFObjectHandle::newNull();
  QPDFObjectHandle previous = QPDFObjectHandle::newNull();
  if (bookmarks) {
    outlines = document.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Outlines >>"));
    document.getRoot().replaceKey("/Outlines", outlines);
  }
  for (const std::string& text : pageTexts) {
    QPDFObjectHandle page = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] >>");
    QPDFObjectHandle resources = QPDFObjectHandle::parse("<< /Font << >> >>");
    resources.getKey("/Font").replaceKey("/F1", font);
    page.replaceKey("/Resources", resources);
    const std::string content = "BT /F1 24 Tf 72 700 Td " + PdfString(text) + " Tj ET\n";
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&document, content));
    page = document.makeIndirectObject(page);
    QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(page), false);
    if (bookmarks) {
      QPDFObjectHandle item = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
      item.replaceKey("/Title", QPDFObjectHandle::newString("Mark " + text));
      item.replaceKey("/Parent", outlines);
      item.replaceKey("/Dest", QPDFObjectHandle::newArray({page, QPDFObjectHandle::newName("/Fit")}));
      if (previous.isNull()) {
        outlines.replaceKey("/First", item);
      } else {
        previous.replaceKey("/Next", item);
        item.replaceKey("/Prev", previous);
      }
      outlines.replaceKey("/Last", item);
      previous = item;
    }
  }
  if (bookmarks) outlines.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(pageTexts.size())));
  QPDFWriter writer(document, path.c_str());
  writer.write();
  return path;
}

}  // namespace vd::test
