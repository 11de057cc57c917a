// Writes blank.pdf, the one blank A4 page the joining operations put between documents.
// Run by the build; the file is installed beside the program.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " OUTPUT.pdf\n";
    return 2;
  }
  try {
    QPDF document;
    document.emptyPDF();
    QPDFObjectHandle page = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 595.276 841.89] /Resources << >> >>");
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&document, ""));
    QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(document.makeIndirectObject(page)), false);
    QPDFWriter writer(document, argv[1]);
    writer.setStaticID(true);  // the same build gives the same file
    writer.write();
  } catch (const std::exception& error) {
    std::cerr << argv[1] << ": " << error.what() << '\n';
    return 1;
  }
  return 0;
}
