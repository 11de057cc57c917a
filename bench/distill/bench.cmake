# CreatePDFfromPS against the ps2pdf command, per file.
add_executable(bench_distill ${CMAKE_CURRENT_LIST_DIR}/DistillBench.cpp)
target_link_libraries(bench_distill PRIVATE vd_engine)
# The sample corpus lives in shared/ beside the source checkout.
target_compile_definitions(bench_distill PRIVATE VD_BUILD_HELPER_DIR="${VD_BUILD_HELPER_DIR}"
                                               VD_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
add_dependencies(bench_distill vellumdk-gsworker)
