# Registry access, the hive store behind it, the print subsystem and vellumdk-setup.
vd_add_test(ClsRegistryTest ${CMAKE_CURRENT_LIST_DIR}/ClsRegistryTest.cpp)
vd_add_test(PrintSubsystemTest ${CMAKE_CURRENT_LIST_DIR}/PrintSubsystemTest.cpp)
add_dependencies(PrintSubsystemTest vellumdk-setup)
