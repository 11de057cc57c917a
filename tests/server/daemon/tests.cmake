# vellumdkd run as a separate process, as a service manager would run it.
vd_add_test(DaemonProgramTest ${CMAKE_CURRENT_LIST_DIR}/DaemonProgramTest.cpp)
add_dependencies(DaemonProgramTest vellumdkd vellumdk-setup vellumdk-gsworker vd_blank_pdf notepad tabnudge)
