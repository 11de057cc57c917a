# CreatePDFfromPS against the ps2pdf command, per file.
add_executable(bench_distill ${CMAKE_CURRENT_LIST_DIR}/DistillBench.cpp)
target_link_libraries(bench_distill PRIVATE vd_engine)
target_compile_definitions(bench_distill PRIVATE VD_BUILD_HELPER_DIR="${VD_BUILD_HELPER_DIR}")
add_dependencies(bench_distill vellumdk-gsworker)
