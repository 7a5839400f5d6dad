# Writes the runtime texts of runtime/RuntimeTexts.def (INPUT) as PO template
# entries to OUTPUT. They are no gettext calls, so xgettext cannot find them.
# A CR LF in a text becomes LF: lookups drop every CR before searching.
file(STRINGS ${INPUT} lines REGEX "^RUNTIME_TEXT\\(")
set(body "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^RUNTIME_TEXT\\(([A-Za-z0-9_]+), *([0-9]+), *\"(.*)\"\\)$" m "${line}")
  if(NOT m)
    message(FATAL_ERROR "cannot read runtime text line: ${line}")
  endif()
  set(text "${CMAKE_MATCH_3}")
  string(REPLACE "\\r\\n" "\\n" text "${text}")
  string(APPEND body "#. Runtime text ${CMAKE_MATCH_1} (${CMAKE_MATCH_2})\n")
  if(text MATCHES "%[sdux]")
    string(APPEND body "#, c-format\n")
  endif()
  string(APPEND body "msgid \"${text}\"\nmsgstr \"\"\n\n")
endforeach()
file(WRITE ${OUTPUT} "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n${body}")
