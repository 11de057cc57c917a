# The engine object, the Distiller stand-in, the interpreter client and the window and
# process facilities they use.
foreach(test DistillerTest InterpreterIsolationTest EngineObjectTest WindowControlTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
  add_dependencies(${test} vellumdk-gsworker)
endforeach()
