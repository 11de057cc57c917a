# Searchable scans (the image operation with text recognition, warm workers) against
# ocrmypdf with its defaults on pages of known text rendered at bench time; and the soak
# command of the hostile cases (bench/ocr/soak).
add_executable(bench_ocr ${CMAKE_CURRENT_LIST_DIR}/OcrBench.cpp)
target_link_libraries(bench_ocr PRIVATE vd_bench_support vd_engine)
# The pages of known text and the measures of what was found, as the tests make them.
target_include_directories(bench_ocr PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(bench_ocr PRIVATE VD_BUILD_HELPER_DIR="${VD_BUILD_HELPER_DIR}"
                                             VD_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/data/corpus")
add_dependencies(bench_ocr vellumdk-gsworker vellumdk-ocrworker)
