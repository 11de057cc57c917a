#include "outside/acrobat/OutlineCopier.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>

namespace vd {
namespace {

// Outline trees of damaged files can be cyclic or absurdly deep; nobody reads a tree of
// bookmarks nested this far.
constexpr int kMaximumDepth = 64;

}  // namespace

OutlineCopier::OutlineCopier(QPDF& source, QPDF& target, std::map<QPDFObjGen, QPDFObjectHandle> pageCopies)
    : source_(source), target_(target), pageCopies_(std::move(pageCopies)) {}

void OutlineCopier::copy() {
  QPDFOutlineDocumentHelper outlines(source_);
  if (!outlines.hasOutlines()) return;
  QPDFObjectHandle root = QPDFObjectHandle::newNull();
  for (QPDFOutlineObjectHelper& item : outlines.getTopLevelOutlines()) {
    QPDFObjectHandle copied = copyItem(item, 0);
    if (copied.isNull()) continue;
    if (root.isNull()) root = targetRoot();
    appendChild(root, copied);
  }
}

QPDFObjectHandle OutlineCopier::copyItem(QPDFOutlineObjectHelper& item, int depth) {
  if (depth > kMaximumDepth) return QPDFObjectHandle::newNull();
  QPDFObjectHandle destination = copiedDestination(item);
  std::vector<QPDFObjectHandle> kids;
  for (QPDFOutlineObjectHelper& kid : item.getKids()) {
    QPDFObjectHandle copiedKid = copyItem(kid, depth + 1);
    if (!copiedKid.isNull()) kids.push_back(copiedKid);
  }
  if (destination.isNull() && kids.empty()) return QPDFObjectHandle::newNull();

  QPDFObjectHandle copy = target_.makeIndirectObject(QPDFObjectHandle::newDictionary());
  QPDFObjectHandle title = item.getObjectHandle().getKey("/Title");
  copy.replaceKey("/Title", title.isString() ? QPDFObjectHandle::newString(title.getStringValue())
                                             : QPDFObjectHandle::newString(""));
  if (!destination.isNull()) copy.replaceKey("/Dest", destination);
  for (QPDFObjectHandle& kid : kids) appendChild(copy, kid);
  if (!kids.empty()) {
    // Nested bookmarks arrive closed, as a long document's outline usually is.
    copy.replaceKey("/Count", QPDFObjectHandle::newInteger(-static_cast<long long>(kids.size())));
  }
  return copy;
}

QPDFObjectHandle OutlineCopier::copiedDestination(QPDFOutlineObjectHelper& item) {
  QPDFObjectHandle page = item.getDestPage();
  if (!page.isIndirect()) return QPDFObjectHandle::newNull();
  const auto found = pageCopies_.find(page.getObjGen());
  if (found == pageCopies_.end()) return QPDFObjectHandle::newNull();

  QPDFObjectHandle destination = QPDFObjectHandle::newArray();
  destination.appendItem(found->second);
  QPDFObjectHandle original = item.getDest();
  bool viewCopied = false;
  if (original.isArray() && original.getArrayNItems() >= 2) {
    viewCopied = true;
    for (int i = 1; i < original.getArrayNItems(); ++i) {
      QPDFObjectHandle element = original.getArrayItem(i);
      if (element.isIndirect() || !(element.isNumber() || element.isName() || element.isNull())) {
        viewCopied = false;
        break;
      }
    }
    if (viewCopied) {
      // Fresh objects: direct objects of another document must not be shared with this one.
      for (int i = 1; i < original.getArrayNItems(); ++i) {
        destination.appendItem(QPDFObjectHandle::parse(original.getArrayItem(i).unparse()));
      }
    }
  }
  if (!viewCopied) destination.appendItem(QPDFObjectHandle::newName("/Fit"));
  return destination;
}

QPDFObjectHandle OutlineCopier::targetRoot() {
  QPDFObjectHandle catalog = target_.getRoot();
  QPDFObjectHandle root = catalog.getKey("/Outlines");
  if (!root.isDictionary()) {
    root = target_.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Outlines /Count 0 >>"));
    catalog.replaceKey("/Outlines", root);
  }
  return root;
}

void OutlineCopier::appendChild(QPDFObjectHandle parent, QPDFObjectHandle child) {
  child.replaceKey("/Parent", parent);
  QPDFObjectHandle last = parent.getKey("/Last");
  if (last.isDictionary()) {
    last.replaceKey("/Next", child);
    child.replaceKey("/Prev", last);
  } else {
    parent.replaceKey("/First", child);
  }
  parent.replaceKey("/Last", child);
  // The outline root counts its visible items; appended items are visible at its level.
  if (parent.getKey("/Type").isNameAndEquals("/Outlines")) {
    QPDFObjectHandle count = parent.getKey("/Count");
    const long long visible = count.isInteger() ? count.getIntValue() : 0;
    parent.replaceKey("/Count", QPDFObjectHandle::newInteger(visible + 1));
  }
}

}  // namespace vd
