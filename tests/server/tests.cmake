# The conversion server's core: the scan cycle against a recording observer with its
# dispatch, in a program of the core alone; and the built program run end to end.
vd_add_test(ScanCycleTest ${CMAKE_CURRENT_LIST_DIR}/ScanCycleTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FileConversionTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/FailedFilesTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FolderConfigTest.cpp)
vd_add_test(ConversionEndToEndTest ${CMAKE_CURRENT_LIST_DIR}/ConversionEndToEndTest.cpp)
# The end-to-end test runs the built programs themselves.
add_dependencies(ConversionEndToEndTest vellumdk vellumdk-setup vellumdk-gsworker vellumdk-officeworker notepad tabnudge
                 vd_blank_pdf)
# The scan cycle with the real engine against full, read-only and vanished output folders,
# damaged inputs of every kind, files changing under it and a killed interpreter worker.
vd_add_test(RobustnessTest ${CMAKE_CURRENT_LIST_DIR}/RobustnessTest.cpp)
add_dependencies(RobustnessTest vellumdk-setup vellumdk-gsworker vd_blank_pdf)
# Hostile documents against the real interpreter and office suite: links to private files
# and the network, file operators; nothing private reaches what the program writes.
vd_add_test(LeakProbeTest ${CMAKE_CURRENT_LIST_DIR}/LeakProbeTest.cpp)
add_dependencies(LeakProbeTest vellumdk-setup vellumdk-gsworker vellumdk-officeworker vd_blank_pdf)
# The programs as a new user meets them: --help and --version of all four, and the menu
# entry of an install into a prefix of its own (cmake --install of this build tree).
vd_add_test(InstalledProgramsTest ${CMAKE_CURRENT_LIST_DIR}/InstalledProgramsTest.cpp)
target_compile_definitions(InstalledProgramsTest PRIVATE VD_PROJECT_VERSION="${PROJECT_VERSION}"
                           VD_CMAKE_COMMAND="${CMAKE_COMMAND}")
add_dependencies(InstalledProgramsTest vellumdk vellumdkd vellumdk-convert vellumdk-setup vd_help_pdf vd_icons)
# Script runs with a real engine: entries joined in script order through temporaries, the
# error rule and the stop, network locations and the builder's network path option.
vd_add_test(ScriptRunTest ${CMAKE_CURRENT_LIST_DIR}/ScriptRunTest.cpp)
add_dependencies(ScriptRunTest vd_blank_pdf vellumdk-gsworker)
