# A pass over many listed files until its first conversion begins, with and without the
# window.
add_executable(bench_scanpass ${CMAKE_CURRENT_LIST_DIR}/ScanPassBench.cpp)
target_link_libraries(bench_scanpass PRIVATE vd_gui)
