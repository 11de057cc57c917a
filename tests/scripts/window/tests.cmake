# The script builder's window.
find_package(Qt6 REQUIRED COMPONENTS Test)
vd_add_window_test(ScriptBuilderWindowTest ${CMAKE_CURRENT_LIST_DIR}/ScriptBuilderWindowTest.cpp)
target_link_libraries(ScriptBuilderWindowTest PRIVATE Qt6::Test)
