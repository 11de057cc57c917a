# A pass over many listed files until its first conversion begins, with and without the
# window.
add_executable(bench_scanpass ${CMAKE_CURRENT_LIST_DIR}/ScanPassBench.cpp)
target_link_libraries(bench_scanpass PRIVATE vd_gui)

# A burst of small files through vellumdkd with one lane and with two; the same files
# posted to it over HTTP.
add_executable(bench_lanes ${CMAKE_CURRENT_LIST_DIR}/LanesBench.cpp)
target_compile_definitions(bench_lanes PRIVATE VD_BUILD_PROGRAM_DIR="${VD_BUILD_PROGRAM_DIR}"
                                               VD_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/data/corpus")
target_link_libraries(bench_lanes PRIVATE PkgConfig::CPP_HTTPLIB)
add_dependencies(bench_lanes vellumdkd vellumdk-lane vellumdk-setup vellumdk-gsworker vd_blank_pdf)

# Confined interpreters against unconfined ones, through the daemon's own lanes.
add_executable(bench_confinement ${CMAKE_CURRENT_LIST_DIR}/ConfinementBench.cpp
                                 ${PROJECT_SOURCE_DIR}/server/daemon/LanePool.cpp)
target_include_directories(bench_confinement PRIVATE "${VD_STAGING_INCLUDE_DIR}/vellumdkd")
target_link_libraries(bench_confinement PRIVATE vd_bench_support vd_server)
target_compile_definitions(bench_confinement PRIVATE VD_BUILD_HELPER_DIR="${VD_BUILD_HELPER_DIR}"
                                                     VD_BUILD_PROGRAM_DIR="${VD_BUILD_PROGRAM_DIR}"
                                                     VD_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/data/corpus")
add_dependencies(bench_confinement vellumdkd vellumdk-lane vellumdk-gsworker vellumdk-officeworker)
