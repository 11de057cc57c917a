# Image import against the img2pdf library (in one Python process) and command.
find_package(TIFF REQUIRED)
add_executable(bench_images
  ${CMAKE_CURRENT_LIST_DIR}/ImageBench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GifWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LargeSamples.cpp)
target_link_libraries(bench_images PRIVATE vd_bench_support vd_engine TIFF::TIFF)
vd_expose_headers(bench_images bench/images)
target_compile_definitions(bench_images PRIVATE VD_BENCH_SOURCE_DIR="${PROJECT_SOURCE_DIR}/bench"
                                                VD_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/data/corpus")
