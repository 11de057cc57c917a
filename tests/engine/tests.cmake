# The engine object, the Distiller stand-in, the interpreter client and the window and
# process facilities they use.
foreach(test DistillerTest InterpreterIsolationTest EngineObjectTest WindowControlTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
  add_dependencies(${test} vellumdk-gsworker)
endforeach()
add_dependencies(WindowControlTest notepad)

# The office converters with a real office suite behind their stand-ins; their pages against
# the suite's own export of the same documents.
foreach(test OfficeConverterTest OfficeLayoutTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
  add_dependencies(${test} vellumdk-gsworker vellumdk-officeworker)
endforeach()
