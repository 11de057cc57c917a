# The script builder's window, and a script it saved run by the built server.
find_package(Qt6 REQUIRED COMPONENTS Test)
vd_add_window_test(ScriptBuilderWindowTest ${CMAKE_CURRENT_LIST_DIR}/ScriptBuilderWindowTest.cpp)
target_link_libraries(ScriptBuilderWindowTest PRIVATE Qt6::Test)
add_dependencies(ScriptBuilderWindowTest vellumdkd vellumdk-setup vellumdk-gsworker vd_blank_pdf)
