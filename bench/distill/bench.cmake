# CreatePDFfromPS against plain gs and the ps2pdf command.
add_executable(bench_distill ${CMAKE_CURRENT_LIST_DIR}/DistillBench.cpp)
target_link_libraries(bench_distill PRIVATE vd_bench_support vd_engine)
# The same sample files the tests read.
target_compile_definitions(bench_distill PRIVATE VD_BUILD_HELPER_DIR="${VD_BUILD_HELPER_DIR}"
                                               VD_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/data/corpus")
add_dependencies(bench_distill vellumdk-gsworker)
