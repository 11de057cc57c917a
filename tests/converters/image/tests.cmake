# Images opened in the viewer and saved as PDF, checked picture by picture.
vd_add_test(ImageImportTest ${CMAKE_CURRENT_LIST_DIR}/ImageImportTest.cpp)
add_dependencies(ImageImportTest vd_blank_pdf vellumdk-gsworker)
