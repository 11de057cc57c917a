// The text printer: how it judges and reads a file's bytes, and the notepad program run
// as the engine runs it (one argument text), printing on a PDF-file printer of the table
// through the real interpreter. Checked by the PDFs' pages and text.
#include "outside/notepad/TextContent.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "outside/printing/PdfFileDriver.h"
#include "platform/PrintSubsystem.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

const std::string kNotepad = std::string(VD_BUILD_HELPER_DIR) + "/notepad";

std::string utf16(const std::u16string& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(TextContentTest, TextInEveryEncodingPassesAndWhatHoldsNulOrControlCodesDoesNot) {
  std::string controls;
  for (int i = 0; i < 100; ++i) controls += i % 3 == 0 ? "\x01\x02" : "words ";
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"utf-8", ReadBytes(Corpus("txt/UTF-8-demo.txt")), true},
      {"utf-16 little-endian", ReadBytes(Corpus("txt/fonts.txt")), true},
      {"utf-16 big-endian", utf16(u"Gr\u00FC\u00DFe\r\n\tK\u00F6ln\f", true), true},
      {"latin-1", ReadBytes(Corpus("txt/iso-8859-1_ude_2.txt")), true},
      {"empty", "", true},
      {"utf-16 without its mark", std::string("w\0o\0r\0d\0", 8), false},
      {"control codes without NUL", controls, false},
  };
  for (const auto& [what, bytes, text] : cases) {
    SCOPED_TRACE(what);
    TextSniffer whole;
    whole.feed(bytes);
    EXPECT_EQ(!whole.notTextReason().has_value(), text);
    // A byte at a time, sequences split everywhere: the same verdict.
    TextSniffer pieces;
    for (const char byte : bytes.substr(0, 20000)) pieces.feed(std::string_view(&byte, 1));
    TextSniffer prefix;
    prefix.feed(bytes.substr(0, 20000));
    EXPECT_EQ(pieces.notTextReason(), prefix.notTextReason());
  }
  // Marks go, and the 8-bit forms read as the characters they mean.
  EXPECT_EQ(decodeText(utf16(u"Gr\u00FC\u00DFe \U0001F600", true)), "Grüße 😀");
  EXPECT_EQ(decodeText("\xEF\xBB\xBFna\xC3\xAFve caf\xE9 \x93quoted\x94 \x80"), "naïve café “quoted” €");
}

class NotepadTest : public IsolatedTest {
 protected:
  NotepadTest() {
    EXPECT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Paper", PdfFileDriver::kDriverName, printed}));
    EXPECT_TRUE(printSubsystem().writeProfileString("windows", "Device", "Paper,x,y"));
  }
  const std::string printed = scratch("printed.pdf");
};

TEST_F(NotepadTest, PrintsEveryKindOfTextWithItsNameAndPageNumbers) {
  std::string numbered;
  for (int line = 1; line <= 10000; ++line) numbered += "line " + std::to_string(line) + "\r\n";
  std::string large;
  for (int row = 1; large.size() < 5'000'000; ++row) large += "row " + std::to_string(row) + std::string(60, '.') + "\n";
  const std::string largeLast = "row " + std::to_string(std::count(large.begin(), large.end(), '\n'));
  std::string longLine;
  for (int i = 1; i <= 60; ++i) longLine += "word" + std::to_string(i) + " ";
  const struct {
    std::string name;
    std::string bytes;
    std::vector<std::string> argumentTexts;  // FILE stands for the path
    std::vector<std::string> firstPage;
    std::string lastPage;                    // "" when there is only one page
  } cases[] = {
      {"-dash \u00FCn\u00EF c\u00F6d\u00E9.txt",
       "first\tcolumn\nNa\u00EFve caf\u00E9 \u2248 \u03A9 \u6F22\u5B57\n" + longLine + "\fafter the break\n\f",
       {"/p \"FILE\""},
       {"-dash ünï cödé.txt", "first   column", "Naïve café ≈ Ω 漢字", "word1 ", "word60", "Page 1"},
       "after the break"},
      {"fonts.txt", ReadBytes(Corpus("txt/fonts.txt")), {"  -P   \"FILE\"  "}, {"==== Font Faces ===="}, "subFamilyName:"},
      {"big endian", utf16(u"Gr\u00FC\u00DFe aus K\u00F6ln", true), {"/p FILE  "}, {"Grüße aus Köln", "Page 1"}, ""},
      {"empty", "", {"/p", "\"FILE\""}, {"empty", "Page 1"}, ""},
      {"numbered", numbered, {"/p\"FILE\""}, {"line 1\n"}, "line 10000"},
      {"large", large, {"/p \"FILE\""}, {"row 1."}, largeLast + "."},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    const std::string file = scratch(each.name);
    WriteBytes(file, each.bytes);
    std::vector<std::string> arguments;
    for (std::string text : each.argumentTexts) {
      if (const auto at = text.find("FILE"); at != std::string::npos) text.replace(at, 4, file);
      arguments.push_back(text);
    }
    std::string errors;
    // A thousand pages take some seconds of CPU, a minute or more of a busy machine.
    ASSERT_EQ(RunProgram(kNotepad, arguments, nullptr, &errors, {}, 600), 0) << errors;
    const auto pages = PageTexts(printed);
    ASSERT_FALSE(pages.empty());
    ExpectContainsAll(pages.front(), each.firstPage);
    if (each.lastPage.empty()) {
      EXPECT_EQ(pages.size(), 1u);
    } else {
      // Every page carries its number, the last one the page count; the text runs to its end.
      EXPECT_GT(pages.size(), 1u);
      ExpectContainsAll(pages.back(), {each.lastPage, "Page " + std::to_string(pages.size())});
    }
  }
}

std::string withoutBlanks(const std::string& text) {
  std::string kept;
  std::copy_if(text.begin(), text.end(), std::back_inserter(kept), [](char c) { return c != ' ' && c != '\n'; });
  return kept;
}

TEST_F(NotepadTest, FontsGoIntoThePrintStreamWithTheirShapesAndCharacters) {
  // A page of full blocks: drawn with any other glyph (a wrong code, a glyph lost from a
  // font's subset) the page holds far less ink. Then more distinct characters of one
  // face than one font resource holds, and of several faces.
  std::string blocks;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 40; ++column) blocks += "\u2588";
    blocks += "\n";
  }
  std::string ideographs;
  for (unsigned c = 0x4E00; c < 0x4E00 + 300; ++c) {
    ideographs += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                   static_cast<char>(0x80 | (c & 0x3F))};
  }
  const std::string mixed =
      "Ærøskøbing \u00C5ngstr\u00F6m \u01FA\u01FB \u0394\u03B9\u03BF\u03BD\u03CD\u03C3\u03B9\u03BF\u03C2 "
      "\u041C\u043E\u0441\u043A\u0432\u0430 \u2200x\u2208\u211D \u2264 \u221E";
  const std::string file = scratch("glyphs.txt");
  WriteBytes(file, blocks + "\f" + ideographs + "\n" + mixed + "\n");
  std::string errors;
  ASSERT_EQ(RunProgram(kNotepad, {"/p \"" + file + "\""}, nullptr, &errors), 0) << errors;

  const auto pages = PageTexts(printed);
  ASSERT_EQ(pages.size(), 2u);
  const long ink = InkOf(printed, scratch("blocks"), 30, 1, 1);
  EXPECT_GT(ink, 1100) << "three rows of 40 full blocks at 30 dpi cover some 1,400 pixels";
  const std::string text = withoutBlanks(pages[1]);
  ExpectContainsAll(text, {ideographs, withoutBlanks(mixed)});
}

TEST_F(NotepadTest, SaysWhyItCannotPrint) {
  const std::string file = scratch("notes.txt");
  WriteBytes(file, "words\n");
  // A FIFO named by mistake is refused, not waited on for a writer that never comes.
  const std::string fifo = scratch("pipe.txt");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The arguments, the exit code and what standard error says.
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{}, 2, "usage"},
      {{"\"" + file + "\""}, 2, "usage"},
      {{"/p \"" + scratch("missing.txt") + "\""}, 1, "missing.txt cannot be read"},
      {{"/p \"" + scratch("") + "\""}, 1, "cannot be read"},
      {{"/p \"" + fifo + "\""}, 1, "pipe.txt cannot be read: is not an ordinary file"},
  };
  for (const auto& [arguments, exitCode, message] : cases) {
    std::string errors;
    EXPECT_EQ(RunProgram(kNotepad, arguments, nullptr, &errors), exitCode) << errors;
    EXPECT_NE(errors.find(message), std::string::npos) << errors;
  }
  ASSERT_TRUE(printSubsystem().writeProfileString("windows", "Device", ""));
  std::string errors;
  EXPECT_EQ(RunProgram(kNotepad, {"/p \"" + file + "\""}, nullptr, &errors), 1);
  EXPECT_NE(errors.find("No default printer is set."), std::string::npos) << errors;
  EXPECT_FALSE(FileExistsOnDisk(printed));
}

}  // namespace
}  // namespace vd::test
