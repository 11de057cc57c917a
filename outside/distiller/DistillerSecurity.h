// The security the security-capable Distiller applies to a finished PDF: AES-256
// (revision 6) with the settings kept in the per-user registry hive
// (DistillerSecuritySettings.h). Without a permissions password the document gets a random
// one nobody knows, so that the permissions hold.
#pragma once

#include <set>
#include <string>

namespace vd {

struct DistillerSecurity {
  std::string openPassword;
  std::string permissionsPassword;
  std::set<std::string> permissions;

  // Throws SecuritySettingsError when the settings cannot be read: a document is never
  // protected with other settings than the ones the user stored.
  static DistillerSecurity fromRegistry();
};

// Writes plainPdf encrypted to securedPdf, which appears whole or not at all; plainPdf is
// left as it is. Throws std::runtime_error naming securedPdf (never a password).
void ApplyDistillerSecurity(const std::string& plainPdf, const std::string& securedPdf,
                            const DistillerSecurity& security);

}  // namespace vd
