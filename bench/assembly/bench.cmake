# Joining PDFs against qpdf's command line.
add_executable(bench_assembly ${CMAKE_CURRENT_LIST_DIR}/AssemblyBench.cpp)
target_link_libraries(bench_assembly PRIVATE vd_bench_support vd_engine)
add_dependencies(bench_assembly vd_blank_pdf)
