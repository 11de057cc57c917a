# The engine object the converters share: detection, the temporary directory, the stand-ins
# it is given or misses; its window control and helper launch over the real window table,
# with the text converter on the default printer and the converters with no program.
foreach(test EngineObjectTest WindowControlTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
  add_dependencies(${test} vellumdk-gsworker)
endforeach()
add_dependencies(WindowControlTest notepad)
