# Joining and image import against qpdf's and img2pdf's own command lines.
add_executable(bench_assembly ${CMAKE_CURRENT_LIST_DIR}/AssemblyBench.cpp)
target_link_libraries(bench_assembly PRIVATE vd_engine)
add_dependencies(bench_assembly vd_blank_pdf)
