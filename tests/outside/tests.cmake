# The stand-ins' shared machinery: the worker client and a worker kind of the tests' own.
add_executable(vellumdk-testworker ${CMAKE_CURRENT_LIST_DIR}/worker/TestWorkerMain.cpp)
target_link_libraries(vellumdk-testworker PRIVATE vd_worker_main)
# Beside the real workers in the build tree's helper folder; never installed.
set_target_properties(vellumdk-testworker PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${VD_BUILD_HELPER_DIR}")

vd_add_test(WorkerClientTest ${CMAKE_CURRENT_LIST_DIR}/worker/WorkerClientTest.cpp)
add_dependencies(WorkerClientTest vellumdk-testworker)

vd_add_test(PrintSubmissionTest ${CMAKE_CURRENT_LIST_DIR}/printing/PrintSubmissionTest.cpp)
add_dependencies(PrintSubmissionTest vellumdk-gsworker vellumdk-setup tabnudge)

# vellumdk-setup's security command, the private per-user hive it writes, and the
# conversions protected with what it stored.
vd_add_test(SecuritySettingsTest ${CMAKE_CURRENT_LIST_DIR}/setup/SecuritySettingsTest.cpp)
add_dependencies(SecuritySettingsTest vellumdk-setup vellumdk-gsworker)

# The text printer: its reading of files and the notepad program printing on a PDF printer.
vd_add_test(NotepadTest ${CMAKE_CURRENT_LIST_DIR}/notepad/NotepadTest.cpp)
add_dependencies(NotepadTest notepad vellumdk-gsworker)
# A 5 MB text is a thousand pages for the interpreter: minutes on a busy machine.
set_tests_properties(NotepadTest PROPERTIES TIMEOUT 1200)

# Text recognition: the pictures handed to the recogniser, and searchable scans with the
# real recogniser on pages of known text rendered by Ghostscript.
vd_add_test(TextRecognitionTest ${CMAKE_CURRENT_LIST_DIR}/ocr/RecognitionPicturesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ocr/SearchableScansTest.cpp)
add_dependencies(TextRecognitionTest vellumdk-gsworker vellumdk-ocrworker)
