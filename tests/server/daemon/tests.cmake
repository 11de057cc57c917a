# vellumdkd run as a separate process, as a service manager would run it.
vd_add_test(DaemonProgramTest ${CMAKE_CURRENT_LIST_DIR}/DaemonProgramTest.cpp)
add_dependencies(DaemonProgramTest vellumdkd vellumdk-setup vellumdk-gsworker vd_blank_pdf notepad tabnudge)
# vellumdkd under a service manager (readiness, heartbeat, journal, signals), with several
# folders from a configuration file, woken by files dropped in.
vd_add_test(DaemonServiceTest ${CMAKE_CURRENT_LIST_DIR}/DaemonServiceTest.cpp)
add_dependencies(DaemonServiceTest vellumdkd vellumdk-setup vellumdk-gsworker vd_blank_pdf)
