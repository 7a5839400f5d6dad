# Turns the runtime texts of INPUT (one or more *Texts.def files, a CMake
# list) into a resource-script STRINGTABLE in OUTPUT (C escapes \" become the
# script's "" form).
include(${CMAKE_CURRENT_LIST_DIR}/RuntimeTexts.cmake)
set(body "#pragma code_page(65001)\nSTRINGTABLE\nBEGIN\n")
foreach(def IN LISTS INPUT)
  read_runtime_texts(${def} names ids texts)
  foreach(id text IN ZIP_LISTS ids texts)
    string(REPLACE "\\\"" "\"\"" text "${text}")
    string(APPEND body "  ${id}, \"${text}\"\n")
  endforeach()
endforeach()
string(APPEND body "END\n")
file(WRITE ${OUTPUT} "${body}")
