# The about window, its texts from the build's version information and its links.
vd_add_window_test(AboutWindowTest ${CMAKE_CURRENT_LIST_DIR}/AboutWindowTest.cpp)
target_compile_definitions(AboutWindowTest PRIVATE VD_PROJECT_VERSION="${PROJECT_VERSION}")
