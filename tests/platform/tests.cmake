# The platform's facilities that have no caller a test of their own reaches well: the
# change notification that wakes the passes.
vd_add_test(FolderChangesTest ${CMAKE_CURRENT_LIST_DIR}/FolderChangesTest.cpp)
