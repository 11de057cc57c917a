# The daemon's HTTP layer: what its pages and answers say, and a real client against it,
# with the test standing in for the scan loop on the other side of the mailbox.
vd_add_test(HttpServerTest ${CMAKE_CURRENT_LIST_DIR}/HttpServerTest.cpp)
target_link_libraries(HttpServerTest PRIVATE vd_http PkgConfig::CPP_HTTPLIB)
add_dependencies(HttpServerTest vellumdk-setup vellumdk-gsworker vd_blank_pdf)
