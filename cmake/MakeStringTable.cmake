# Turns the runtime texts of INPUT (runtime/RuntimeTexts.def) into a
# resource-script STRINGTABLE in OUTPUT (C escapes \" become the script's ""
# form).
include(${CMAKE_CURRENT_LIST_DIR}/RuntimeTexts.cmake)
read_runtime_texts(${INPUT} names ids texts)
set(body "#pragma code_page(65001)\nSTRINGTABLE\nBEGIN\n")
foreach(id text IN ZIP_LISTS ids texts)
  string(REPLACE "\\\"" "\"\"" text "${text}")
  string(APPEND body "  ${id}, \"${text}\"\n")
endforeach()
string(APPEND body "END\n")
file(WRITE ${OUTPUT} "${body}")
