#include "about/AboutText.h"

#include "about/ProductInfo.h"

namespace vd {

std::string VersionText() {
  return std::to_string(product::kVersionMajor) + "." + std::to_string(product::kVersionMinor) + "." +
         std::to_string(product::kVersionRevision);
}

std::string AboutText() {
  const std::string name = product::kName;
  const char* const lines[] = {"", product::kLegalCopyright, "All rights reserved.", ""};
  std::string text = name + " " + VersionText();
  for (const char* line : lines) text += std::string("\r\n") + line;
  text += "\r\n" + name +
          " is a great tool for creating PDF files from many different file types including TXT, DOC, XLS, PPT, PUB, "
          "RTF, HTM, RPT, JPG, BMP, PNG, TIF, etc using the Adobe Acrobat Distiller.";
  return text;
}

std::string HelpFilePath(const std::string& programFolder) { return programFolder + "/" + product::kHelpFileName; }

std::string ContactLink() { return std::string("mailto:") + product::kContactAddress; }

std::string WebLink() { return product::kWebAddress; }

std::string WebLinkText() {
  std::string text = product::kWebAddress;
  if (const auto scheme = text.find("://"); scheme != std::string::npos) text.erase(0, scheme + 3);
  if (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace vd
