# Registry access and the hive store behind it.
vd_add_test(ClsRegistryTest ${CMAKE_CURRENT_LIST_DIR}/ClsRegistryTest.cpp)
