#include "outside/distiller/DistillerSecurity.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <random>
#include <stdexcept>

#include "outside/acrobat/PdfFileWriter.h"
#include "outside/securitysettings/DistillerSecuritySettings.h"

namespace vd {
namespace {

std::string randomPassword() {
  std::random_device device;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string password;
  for (int i = 0; i < 32; ++i) password += kDigits[device() % 16];
  return password;
}

}  // namespace

DistillerSecurity DistillerSecurity::fromRegistry() {
  const DistillerSecuritySettings stored = DistillerSecuritySettings::read();
  DistillerSecurity security;
  security.openPassword = stored.openPassword;
  security.permissionsPassword = stored.permissionsPassword;
  security.permissions = stored.effectivePermissions();
  // A restriction anyone can lift is no restriction.
  if (security.permissionsPassword.empty()) security.permissionsPassword = randomPassword();
  return security;
}

void ApplyDistillerSecurity(const std::string& plainPdf, const std::string& securedPdf,
                            const DistillerSecurity& security) {
  const auto& allowed = security.permissions;
  auto has = [&](const char* word) { return allowed.count(word) != 0; };
  try {
    QPDF pdf;
    pdf.processFile(plainPdf.c_str());
    WritePdfFile(pdf, 0, securedPdf, [&](QPDFWriter& writer) {
      const qpdf_r3_print_e print = has("print") ? qpdf_r3p_full : has("print-low") ? qpdf_r3p_low : qpdf_r3p_none;
      writer.setR6EncryptionParameters(security.openPassword.c_str(), security.permissionsPassword.c_str(),
                                       has("accessibility"), has("copy"), has("assemble"), has("annotate"),
                                       has("fill-forms") || has("annotate"), has("modify"), print, true);
    });
  } catch (const std::exception& error) {
    throw std::runtime_error("Cannot apply security to " + securedPdf + ": " + error.what());
  }
}

}  // namespace vd
