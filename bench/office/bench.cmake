# CreatePDFfromWord (warm office worker, distilling included) against the suite's own
# command run cold for each document and against the suite's warm PDF export over UNO.
add_executable(bench_office ${CMAKE_CURRENT_LIST_DIR}/OfficeBench.cpp)
target_link_libraries(bench_office PRIVATE vd_bench_support vd_engine)
target_compile_definitions(bench_office PRIVATE VD_BUILD_HELPER_DIR="${VD_BUILD_HELPER_DIR}"
                                              VD_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/data/corpus")
add_dependencies(bench_office vellumdk-gsworker vellumdk-officeworker)
