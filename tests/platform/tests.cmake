# The platform's facilities that have no caller a test of their own reaches well: the
# change notification that wakes the passes.
vd_add_test(FolderChangesTest ${CMAKE_CURRENT_LIST_DIR}/FolderChangesTest.cpp)
# The print subsystem: the printer table and the default printer, and vellumdk-setup
# installing the Distiller's printer and keys.
vd_add_test(PrintSubsystemTest ${CMAKE_CURRENT_LIST_DIR}/PrintSubsystemTest.cpp)
add_dependencies(PrintSubsystemTest vellumdk-setup)
