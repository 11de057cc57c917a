# The conversion server's window: start-up and settings, the scan cycle as the window
# shows it.
vd_add_window_test(ServerStartupTest ${CMAKE_CURRENT_LIST_DIR}/ServerStartupTest.cpp)
vd_add_window_test(WindowScanCycleTest ${CMAKE_CURRENT_LIST_DIR}/WindowScanCycleTest.cpp)
