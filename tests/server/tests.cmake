# The conversion server: start-up and settings, the scan cycle, the dispatch, and the
# built program run end to end.
vd_add_test(ServerStartupTest ${CMAKE_CURRENT_LIST_DIR}/ServerStartupTest.cpp)
vd_add_test(ScanCycleTest ${CMAKE_CURRENT_LIST_DIR}/ScanCycleTest.cpp)
vd_add_test(DispatchTest ${CMAKE_CURRENT_LIST_DIR}/DispatchTest.cpp)
vd_add_test(ConversionEndToEndTest ${CMAKE_CURRENT_LIST_DIR}/ConversionEndToEndTest.cpp)
# The end-to-end test runs the built programs themselves.
add_dependencies(ConversionEndToEndTest vellumdk vellumdk-setup vellumdk-gsworker vd_blank_pdf)
