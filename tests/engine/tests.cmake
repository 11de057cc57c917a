# The engine object, the Distiller stand-in, the interpreter client and the window and
# process facilities they use.
foreach(test DistillerTest InterpreterIsolationTest EngineObjectTest WindowControlTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
  add_dependencies(${test} vellumdk-gsworker)
endforeach()
add_dependencies(WindowControlTest notepad)

# The office converters with a real office suite behind their stand-ins.
vd_add_test(OfficeConverterTest ${CMAKE_CURRENT_LIST_DIR}/OfficeConverterTest.cpp)
add_dependencies(OfficeConverterTest vellumdk-gsworker vellumdk-officeworker)
