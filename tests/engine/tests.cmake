# The engine object, the Distiller stand-in, the interpreter client and the window and
# process facilities they use.
add_library(vd_engine_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/EngineTestSupport.cpp)
target_link_libraries(vd_engine_test_support PUBLIC vd_test_support)

function(vd_add_engine_test name)
  vd_add_test(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE vd_engine_test_support)
  add_dependencies(${name} vellumdk-gsworker)
endfunction()

vd_add_engine_test(GhostscriptRunnerTest ${CMAKE_CURRENT_LIST_DIR}/GhostscriptRunnerTest.cpp)
vd_add_engine_test(DistillerTest ${CMAKE_CURRENT_LIST_DIR}/DistillerTest.cpp)
vd_add_engine_test(EngineObjectTest ${CMAKE_CURRENT_LIST_DIR}/EngineObjectTest.cpp)
vd_add_engine_test(WindowControlTest ${CMAKE_CURRENT_LIST_DIR}/WindowControlTest.cpp)
vd_add_engine_test(ProcessAndWindowTableTest ${CMAKE_CURRENT_LIST_DIR}/ProcessAndWindowTableTest.cpp)
