# PDF assembly: image import, joining, PostScript export, script runs, network paths.
foreach(test ImageImportTest PdfJoiningTest ScriptRunTest)
  vd_add_test(${test} ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp)
  add_dependencies(${test} vd_blank_pdf vellumdk-gsworker)
endforeach()
