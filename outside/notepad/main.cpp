// notepad: prints a text file on the default printer of the print subsystem.
//
//   notepad '/p "FILE"'
//
// The argument text is one argument, as a hidden start hands it over (several arguments
// are joined with blanks). Exit codes: 0 printed, 1 the file could not be printed (the
// reason on standard error), 2 the text does not ask to print a file.
#include <QGuiApplication>
#include <QString>
#include <exception>
#include <iostream>
#include <stdexcept>

#include "common/Errors.h"
#include "common/Paths.h"
#include "common/PrivateDirectories.h"
#include "outside/acrobat/PdfWholeness.h"
#include "outside/notepad/NotepadCommand.h"
#include "outside/notepad/TextContent.h"
#include "outside/notepad/TextTypesetter.h"
#include "outside/printing/PrintSubmission.h"
#include "platform/FileSystem.h"

namespace {

// The platform's reader opens only an ordinary file: a FIFO or a device named by mistake
// is refused instead of blocking the printer.
std::string readWhole(const std::string& path) {
  try {
    return vd::fileSystem().readFile(path);
  } catch (const vd::FileError& error) {
    throw std::runtime_error("The file " + path + " cannot be read: " + error.reason() + ".");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string argumentText;
  for (int i = 1; i < argc; ++i) argumentText += (i > 1 ? " " : "") + std::string(argv[i]);
  const auto command = vd::parseNotepadCommand(argumentText);
  if (!command) {
    std::cerr << "notepad: usage: notepad '/p \"FILE\"' (prints FILE on the default printer)\n";
    return 2;
  }

  // A printer has no screen: the typesetting needs fonts, never a display. Qt sees no
  // argument of ours, so none of them is taken for one of its options.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);

  try {
    const std::string text = vd::decodeText(readWhole(command->file));
    vd::TemporaryDirectory work("vellumdock-notepad");
    if (!work.ok()) throw std::runtime_error("No private temporary folder could be made in " + vd::temporaryBase() + ".");
    const std::string documentName = vd::fileNameOf(command->file);
    const std::string stream = work.path() + "/print.pdf";
    vd::TextTypesetter::typeset(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                                QString::fromStdString(documentName), QString::fromStdString(stream));
    vd::SubmitPrintStream("", stream, documentName);
    // The Distiller checked the PDF before it took its name: whoever waits for the PDF takes
    // that verdict instead of reading it again.
    std::cerr << vd::WholenessVerdictLines() << std::flush;
  } catch (const std::exception& error) {
    std::cerr << "notepad: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
