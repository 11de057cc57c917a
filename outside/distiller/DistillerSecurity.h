// The security the security-capable Distiller applies to a finished PDF, read from the
// registry (HKEY_CURRENT_USER) through clsRegistry:
//
//   key   "Software\Vellumdock\Distiller\Security"
//   value "OpenPassword"         text: the password needed to open the document ("" none)
//   value "PermissionsPassword"  text: the password that lifts the restrictions
//                                ("" or missing: a random one nobody knows)
//   value "Permissions"          text (words separated by commas or blanks) or a list:
//                                what readers may do without the permissions password:
//                                  print        print at full quality
//                                  print-low    print at low resolution only
//                                  copy         copy text and images
//                                  accessibility  extract for accessibility tools
//                                  assemble     insert, rotate, delete pages
//                                  annotate     comment and fill forms
//                                  fill-forms   fill in forms only
//                                  modify       change the document otherwise
//                                missing: print, copy, accessibility
//
// With nothing configured the document gets a random permissions password that allows
// printing and copying and forbids every change. Encryption is AES-256 (revision 6).
#pragma once

#include <set>
#include <string>

namespace vd {

struct DistillerSecurity {
  std::string openPassword;
  std::string permissionsPassword;
  std::set<std::string> permissions;

  static DistillerSecurity fromRegistry();
  // The permission words this realisation knows.
  static const std::set<std::string>& knownPermissions();
};

// Encrypts the PDF in place. Throws std::runtime_error (naming the file) on failure; the
// file is then unchanged.
void ApplyDistillerSecurity(const std::string& pdfPath, const DistillerSecurity& security);

}  // namespace vd
