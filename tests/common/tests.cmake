# The helpers every layer shares: path splitting, environment numbers, private
# directories and file replacement.
vd_add_test(CommonHelpersTest ${CMAKE_CURRENT_LIST_DIR}/CommonHelpersTest.cpp)
