# The engine's PostScript operation through the Distiller stand-in and the interpreter
# client, and what a PostScript job can reach.
foreach(test DistillerTest InterpreterIsolationTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
  add_dependencies(${test} vellumdk-gsworker)
endforeach()

# The office converters with a real office suite behind their stand-ins; their pages against
# the suite's own export of the same documents.
foreach(test OfficeConverterTest OfficeLayoutTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
  add_dependencies(${test} vellumdk-gsworker vellumdk-officeworker)
endforeach()
