# CreatePDFfromTextFile3 against paps and enscript, each through ps2pdf.
add_executable(bench_textprint ${CMAKE_CURRENT_LIST_DIR}/TextPrintBench.cpp)
target_link_libraries(bench_textprint PRIVATE vd_bench_support vd_engine)
target_compile_definitions(bench_textprint PRIVATE VD_BUILD_HELPER_DIR="${VD_BUILD_HELPER_DIR}"
                                                 VD_BUILD_PROGRAM_DIR="${VD_BUILD_PROGRAM_DIR}"
                                                 VD_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/data/corpus")
add_dependencies(bench_textprint vellumdk-gsworker notepad tabnudge vellumdk-setup)
