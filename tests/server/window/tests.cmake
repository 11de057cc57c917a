# The conversion server's window: start-up and settings, the scan cycle as the window shows
# it.
vd_add_window_test(ServerWindowTest ${CMAKE_CURRENT_LIST_DIR}/ServerWindowTest.cpp)
add_dependencies(ServerWindowTest vellumdk-setup vellumdk-gsworker vd_blank_pdf)
# The built program on an X display of its own without a window manager: it runs the
# program, so it links no window itself.
vd_add_test(NoWindowManagerTest ${CMAKE_CURRENT_LIST_DIR}/NoWindowManagerTest.cpp)
add_dependencies(NoWindowManagerTest vellumdk vellumdk-setup vellumdk-gsworker vd_blank_pdf)
# The window as a desktop user finds it: the log lines' colours, tooltips and menus, files
# dropped onto it, the help key and links without an opener, auto-start without the
# machine's list.
vd_add_window_test(DesktopWindowTest ${CMAKE_CURRENT_LIST_DIR}/DesktopWindowTest.cpp)
# The tray icon on an X display of its own with a system tray (a main of its own sets the
# display up; skipped where Xvfb or trayer is missing).
add_executable(TrayIconTest ${CMAKE_CURRENT_LIST_DIR}/TrayIconTest.cpp)
target_link_libraries(TrayIconTest PRIVATE vd_test_support vd_gui)
vd_register_test(TrayIconTest)
