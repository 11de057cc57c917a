# SVG drawings through the office suite's drawing component, by themselves and dropped
# into a scanned folder.
find_package(ZLIB REQUIRED)
vd_add_test(SvgConverterTest ${CMAKE_CURRENT_LIST_DIR}/SvgConverterTest.cpp)
target_link_libraries(SvgConverterTest PRIVATE ZLIB::ZLIB)
add_dependencies(SvgConverterTest vellumdk-officeworker)
