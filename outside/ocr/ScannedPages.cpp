#include "outside/ocr/ScannedPages.h"

#include <exception>
#include <vector>

namespace vd {
namespace {

// Follows the page's content: its graphics states and where its one picture is drawn.
class ContentScan : public QPDFObjectHandle::ParserCallbacks {
 public:
  explicit ContentScan(QPDFObjectHandle xobjects) : xobjects_(std::move(xobjects)) {}

  void handleObject(QPDFObjectHandle object) override {
    if (object.isInlineImage()) return reject();
    if (!object.isOperator()) {
      operands_.push_back(object);
      return;
    }
    const std::string op = object.getOperatorValue();
    if (op == "q") {
      states_.push_back(matrix_);
    } else if (op == "Q") {
      // More restores than saves: whatever follows would run in a state nobody can tell.
      if (states_.empty()) return reject();
      matrix_ = states_.back();
      states_.pop_back();
    } else if (op == "cm") {
      QPDFObjectHandle::Matrix m;
      if (!matrixOperands(m)) return reject();
      matrix_.concat(QPDFMatrix(m));
    } else if (op == "BT" || op == "Tj" || op == "TJ" || op == "'" || op == "\"" || op == "BI") {
      return reject();
    } else if (op == "Do") {
      if (operands_.size() != 1 || !operands_[0].isName() || !xobjects_.isDictionary()) return reject();
      QPDFObjectHandle xobject = xobjects_.getKey(operands_[0].getName());
      if (!xobject.isStream() || !xobject.getDict().getKey("/Subtype").isNameAndEquals("/Image")) return reject();
      if (image_) return reject();  // a second picture: a page put together, not a scan
      image_ = xobject;
      imageMatrix_ = matrix_;
    }
    operands_.clear();
  }

  void handleEOF() override {}

  std::optional<ScannedPicture> result() {
    if (rejected_ || !image_) return std::nullopt;
    ScannedPicture picture;
    picture.image = *image_;
    QPDFObjectHandle dictionary = image_->getDict();
    const int width = dictionary.getKey("/Width").isInteger() ? dictionary.getKey("/Width").getIntValueAsInt() : 0;
    const int height = dictionary.getKey("/Height").isInteger() ? dictionary.getKey("/Height").getIntValueAsInt() : 0;
    if (width <= 0 || height <= 0) return std::nullopt;
    // A picture fills the unit square, its first row at the top.
    picture.pictureToPage = imageMatrix_;
    picture.pictureToPage.concat(QPDFMatrix(1.0 / width, 0, 0, -1.0 / height, 0, 1));
    picture.openStates = static_cast<int>(states_.size());
    picture.restoreState = !states_.empty() || !(matrix_ == QPDFMatrix());
    return picture;
  }

 private:
  void reject() {
    rejected_ = true;
    terminateParsing();
  }

  bool matrixOperands(QPDFObjectHandle::Matrix& m) {
    if (operands_.size() != 6) return false;
    double values[6];
    for (int i = 0; i < 6; ++i) {
      if (!operands_[static_cast<std::size_t>(i)].getValueAsNumber(values[i])) return false;
    }
    m = QPDFObjectHandle::Matrix(values[0], values[1], values[2], values[3], values[4], values[5]);
    return true;
  }

  QPDFObjectHandle xobjects_;
  std::vector<QPDFObjectHandle> operands_;
  QPDFMatrix matrix_;
  std::vector<QPDFMatrix> states_;
  std::optional<QPDFObjectHandle> image_;
  QPDFMatrix imageMatrix_;
  bool rejected_ = false;
};

}  // namespace

std::optional<ScannedPicture> FindScannedPicture(QPDFPageObjectHelper& page) {
  try {
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    ContentScan scan(resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle::newNull());
    page.parseContents(&scan);
    return scan.result();
  } catch (const std::exception&) {
    // Content that cannot be read is no scan to recognise.
    return std::nullopt;
  }
}

}  // namespace vd
