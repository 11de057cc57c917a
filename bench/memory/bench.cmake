# The window's memory over a long run of conversions (it runs the built vellumdk).
add_executable(bench_memory ${CMAKE_CURRENT_LIST_DIR}/WindowMemoryBench.cpp)
target_link_libraries(bench_memory PRIVATE Qt6::Gui)
add_dependencies(bench_memory vellumdk vellumdk-setup vellumdk-gsworker vd_blank_pdf)
