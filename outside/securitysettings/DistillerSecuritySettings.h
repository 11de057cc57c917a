// The Distiller's security settings as the per-user registry hive (HKEY_CURRENT_USER)
// keeps them. Everything that reads or writes them goes through here: the
// security-capable Distiller when it protects a PDF, vellumdk-setup's "security" command,
// and the Distiller printer's security dialog.
//
//   key   "Software\Vellumdock\Distiller\Security"
//   value "OpenPassword"         text: the password needed to open the document
//   value "PermissionsPassword"  text: the password that lifts the restrictions
//   value "Permissions"          text (words separated by commas or blanks) or a list:
//                                what readers may do without the permissions password:
//                                  print          print at full quality
//                                  print-low      print at low resolution only
//                                  copy           copy text and images
//                                  accessibility  extract for accessibility tools
//                                  assemble       insert, rotate, delete pages
//                                  annotate       comment and fill forms
//                                  fill-forms     fill in forms only
//                                  modify         change the document otherwise
//
//   value "ProtectPrintJobs"     text "1": the Distiller printer protects every job it
//                                prints with these settings, once its security dialog
//                                is confirmed; missing: printed jobs are not protected
//
// A missing or empty password value means no such password; a missing Permissions value
// means the defaults (print, copy, accessibility); an empty one allows nothing. The hive is
// private to its owner (platform/PrivateFiles.h).
#pragma once

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vd {

// The permission words, in the order they are listed and stored.
const std::vector<std::string>& PermissionWords();

struct ParsedPermissions {
  std::set<std::string> words;       // the known words given
  std::vector<std::string> unknown;  // the others, as given
};
// Words separated by commas, semicolons or blanks, compared without regard to case.
ParsedPermissions ParsePermissions(const std::string& text);
// The words joined by commas in the order of PermissionWords().
std::string PermissionsText(const std::set<std::string>& words);

// The settings cannot be read or stored (the hive is damaged, unreadable or read-only).
// The text names the hive file and never holds a password.
class SecuritySettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DistillerSecuritySettings {
  std::string openPassword;         // "" none
  std::string permissionsPassword;  // "" none
  // Nothing stored: the defaults apply.
  std::optional<std::set<std::string>> permissions;
  // The Distiller printer protects what it prints (after its security dialog).
  bool protectPrintJobs = false;

  static const std::set<std::string>& defaultPermissions();
  // What readers may do: the stored permissions or the defaults.
  std::set<std::string> effectivePermissions() const {
    return permissions ? *permissions : defaultPermissions();
  }

  // What is stored; nothing stored reads as empty passwords and default permissions.
  // Throws SecuritySettingsError.
  static DistillerSecuritySettings read();
  // Replaces the stored values with these, all at once (empty passwords and
  // missing permissions delete their values). Throws SecuritySettingsError; the stored
  // values are then unchanged.
  void store() const;
  // Deletes the values at once. Throws SecuritySettingsError.
  static void clear();
};

}  // namespace vd
