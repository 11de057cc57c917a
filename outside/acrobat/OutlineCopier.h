// Carries bookmarks over when pages move from one document to another: every outline
// item of the source that points into the copied pages (or holds such items) becomes an
// item of the target pointing at the copy of its page. The items are appended after the
// target's own bookmarks, in the source's order and nesting.
#pragma once

#include <map>

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFOutlineObjectHelper.hh>

class QPDF;

namespace vd {

class OutlineCopier {
 public:
  // pageCopies maps each copied source page to its copy in the target.
  OutlineCopier(QPDF& source, QPDF& target, std::map<QPDFObjGen, QPDFObjectHandle> pageCopies);
  void copy();

 private:
  // The copy of item and of its kids that point into the copied pages; null when none does.
  QPDFObjectHandle copyItem(QPDFOutlineObjectHelper& item, int depth);
  QPDFObjectHandle copiedDestination(QPDFOutlineObjectHelper& item);
  QPDFObjectHandle targetRoot();
  static void appendChild(QPDFObjectHandle parent, QPDFObjectHandle child);

  QPDF& source_;
  QPDF& target_;
  std::map<QPDFObjGen, QPDFObjectHandle> pageCopies_;
};

}  // namespace vd
