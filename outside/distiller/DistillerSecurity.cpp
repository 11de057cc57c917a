#include "outside/distiller/DistillerSecurity.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <stdexcept>

#include "registry/clsRegistry.h"

namespace vd {
namespace {

constexpr const char* kSecurityKey = "Software\\Vellumdock\\Distiller\\Security";

std::string randomPassword() {
  std::random_device device;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string password;
  for (int i = 0; i < 32; ++i) password += kDigits[device() % 16];
  return password;
}

std::set<std::string> wordsOf(const std::string& text) {
  std::set<std::string> words;
  std::string word;
  auto flush = [&] {
    if (!word.empty()) words.insert(word);
    word.clear();
  };
  for (char c : text) {
    if (c == ',' || c == ' ' || c == ';' || c == '\t') {
      flush();
    } else {
      word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
  }
  flush();
  return words;
}

}  // namespace

const std::set<std::string>& DistillerSecurity::knownPermissions() {
  static const std::set<std::string> known{"print",    "print-low", "copy",       "accessibility",
                                           "assemble", "annotate",  "fill-forms", "modify"};
  return known;
}

DistillerSecurity DistillerSecurity::fromRegistry() {
  DistillerSecurity security;
  security.permissions = {"print", "copy", "accessibility"};
  clsRegistry registry;
  if (registry.OpenRegistry(HKEY_CURRENT_USER, kSecurityKey) != 0) {
    const RegValue open = registry.GetValue("OpenPassword");
    if (open.kind() == RegValue::Kind::Text) security.openPassword = open.asText();
    const RegValue owner = registry.GetValue("PermissionsPassword");
    if (owner.kind() == RegValue::Kind::Text) security.permissionsPassword = owner.asText();
    const RegValue permissions = registry.GetValue("Permissions");
    if (permissions.kind() == RegValue::Kind::Text) {
      security.permissions = wordsOf(permissions.asText());
    } else if (permissions.kind() == RegValue::Kind::List) {
      security.permissions.clear();
      for (const auto& item : permissions.asList()) security.permissions.merge(wordsOf(item));
    }
    registry.CloseRegistry();
  }
  // A restriction anyone can lift is no restriction.
  if (security.permissionsPassword.empty()) security.permissionsPassword = randomPassword();
  return security;
}

void ApplyDistillerSecurity(const std::string& pdfPath, const DistillerSecurity& security) {
  const auto slash = pdfPath.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : pdfPath.substr(0, slash);
  // Hidden, so a scan of the folder never takes the half-written file for input.
  const std::string temporary = folder + "/.vellumdock-secure-" + std::to_string(getpid()) + ".pdf";
  const auto& allowed = security.permissions;
  auto has = [&](const char* word) { return allowed.count(word) != 0; };
  try {
    QPDF pdf;
    pdf.processFile(pdfPath.c_str());
    QPDFWriter writer(pdf, temporary.c_str());
    const qpdf_r3_print_e print = has("print") ? qpdf_r3p_full : has("print-low") ? qpdf_r3p_low : qpdf_r3p_none;
    writer.setR6EncryptionParameters(security.openPassword.c_str(), security.permissionsPassword.c_str(),
                                     has("accessibility"), has("copy"), has("assemble"), has("annotate"),
                                     has("fill-forms") || has("annotate"), has("modify"), print, true);
    writer.write();
  } catch (const std::exception& error) {
    std::remove(temporary.c_str());
    throw std::runtime_error("Cannot apply security to " + pdfPath + ": " + error.what());
  }
  if (std::rename(temporary.c_str(), pdfPath.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw std::runtime_error("Cannot apply security to " + pdfPath + ": the encrypted file could not replace it");
  }
}

}  // namespace vd
