# PDF assembly: image import, joining, PostScript export, script runs, network paths.
set(VD_ASSEMBLY_FIXTURE ${CMAKE_CURRENT_LIST_DIR}/AssemblyFixture.cpp)
foreach(test ImageImportTest PdfJoiningTest ScriptRunTest NetworkPathsTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp ${VD_ASSEMBLY_FIXTURE})
  add_dependencies(${test} vd_blank_pdf vellumdk-gsworker)
endforeach()
