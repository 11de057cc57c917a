# vellumdk-convert run as a separate process, as a script would run it.
vd_add_test(ConvertProgramTest ${CMAKE_CURRENT_LIST_DIR}/ConvertProgramTest.cpp)
add_dependencies(ConvertProgramTest vellumdk-convert vellumdk-setup vellumdk-gsworker vd_blank_pdf notepad tabnudge)
