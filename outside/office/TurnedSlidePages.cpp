#include "outside/office/TurnedSlidePages.h"

#include <set>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include "common/Errors.h"
#include "outside/acrobat/PdfFileWriter.h"

namespace vd {
namespace {

// The page's drawing becomes a form on a page of the turned shape, scaled to fill its width
// or its height and centred. False when the page already has the shape asked for.
bool turnPage(QPDF& document, QPDFAcroFormDocumentHelper& forms, QPDFPageObjectHelper& page, bool wide) {
  // A page shown turned (/Rotate) is turned in its content first, so its box is what is seen.
  page.flattenRotation();
  const QPDFObjectHandle::Rectangle box = page.getMediaBox().getArrayAsRectangle();
  const double width = box.urx - box.llx;
  const double height = box.ury - box.lly;
  if (width <= 0 || height <= 0 || width == height || (width > height) == wide) return false;

  QPDFObjectHandle slide = page.getFormXObjectForPage();
  // The form reads the page's contents when the file is written, by which time the page has
  // its new contents: it takes them now.
  slide.replaceStreamData(slide.getStreamData(qpdf_dl_all), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
  const QPDFObjectHandle::Rectangle turned(0, 0, height, width);
  const QPDFMatrix placement = page.getMatrixForFormXObjectPlacement(slide, turned, false, true, true);
  QPDFObjectHandle dictionary = page.getObjectHandle();
  for (const char* key : {"/CropBox", "/TrimBox", "/BleedBox", "/ArtBox", "/UserUnit"}) dictionary.removeKey(key);
  dictionary.replaceKey("/MediaBox", QPDFObjectHandle::newFromRectangle(turned));
  QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
  xobjects.replaceKey("/Slide", slide);
  QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
  resources.replaceKey("/XObject", xobjects);
  dictionary.replaceKey("/Resources", resources);
  dictionary.replaceKey("/Contents",
                        QPDFObjectHandle::newStream(&document, "q " + placement.unparse() + " cm /Slide Do Q\n"));

  QPDFObjectHandle annotations = dictionary.getKey("/Annots");
  if (annotations.isArray() && annotations.getArrayNItems() > 0) {
    std::vector<QPDFObjectHandle> moved;
    std::vector<QPDFObjectHandle> movedFields;
    std::set<QPDFObjGen> oldFields;
    forms.transformAnnotations(annotations, moved, movedFields, oldFields, placement);
    forms.removeFormFields(oldFields);
    for (QPDFObjectHandle& field : movedFields) forms.addFormField(QPDFFormFieldObjectHelper(field));
    dictionary.replaceKey("/Annots", QPDFObjectHandle::newArray(moved));
  }
  return true;
}

}  // namespace

void TurnSlidePages(const std::string& path, bool wide) {
  QPDF document;
  document.setSuppressWarnings(true);
  try {
    document.processFile(path.c_str());
  } catch (const std::exception& error) {
    throw FileError("read", path, error.what());
  }
  QPDFAcroFormDocumentHelper forms(document);
  bool turned = false;
  for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages()) {
    turned = turnPage(document, forms, page, wide) || turned;
  }
  if (turned) WritePdfFile(document, 0, path);
}

}  // namespace vd
