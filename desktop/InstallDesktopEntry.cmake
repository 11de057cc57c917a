# Writes the menu entry at install time, when the prefix is known for certain: `cmake
# --install --prefix` may name another prefix than the one the build was configured with.
# Expects VD_DESKTOP_TEMPLATE, VD_BIN_SUBDIR and VD_DATA_SUBDIR; CMAKE_INSTALL_PREFIX and
# DESTDIR are the install's own.
if(IS_ABSOLUTE "${VD_BIN_SUBDIR}")
  set(program "${VD_BIN_SUBDIR}/vellumdk")
else()
  set(program "${CMAKE_INSTALL_PREFIX}/${VD_BIN_SUBDIR}/vellumdk")
endif()
if(program MATCHES "[\n\r]")
  message(FATAL_ERROR "A menu entry cannot name a program whose path holds a line break: ${program}")
endif()

# One argument of an Exec= line: quoted when it holds a character the launcher would take
# for something else, with ", `, $ and \ escaped inside the quotes; then the string
# escape (\ doubled) and the field-code escape (% doubled).
set(exec "${program}")
if(exec MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")

file(READ "${VD_DESKTOP_TEMPLATE}" entry)
string(REPLACE "@VD_INSTALLED_PROGRAM@" "${exec}" entry "${entry}")
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${VD_DATA_SUBDIR}/applications")
file(MAKE_DIRECTORY "${folder}")
file(WRITE "${folder}/vellumdk.desktop" "${entry}")
message(STATUS "Installing: ${folder}/vellumdk.desktop")
