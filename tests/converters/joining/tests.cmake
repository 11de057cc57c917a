# Joining PDFs with their bookmarks, and PostScript export.
vd_add_test(PdfJoiningTest ${CMAKE_CURRENT_LIST_DIR}/PdfJoiningTest.cpp)
add_dependencies(PdfJoiningTest vd_blank_pdf vellumdk-gsworker)
