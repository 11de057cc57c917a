# The conversion server's window: start-up and settings, the scan cycle as the window shows
# it.
vd_add_window_test(ServerWindowTest ${CMAKE_CURRENT_LIST_DIR}/ServerWindowTest.cpp)
add_dependencies(ServerWindowTest vellumdk-setup vellumdk-gsworker vd_blank_pdf)
# The built program on an X display of its own without a window manager: it runs the
# program, so it links no window itself.
vd_add_test(NoWindowManagerTest ${CMAKE_CURRENT_LIST_DIR}/NoWindowManagerTest.cpp)
add_dependencies(NoWindowManagerTest vellumdk vellumdk-setup vellumdk-gsworker vd_blank_pdf)
