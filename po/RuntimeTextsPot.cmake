# Writes the runtime texts of runtime/RuntimeTexts.def (INPUT) as PO template
# entries to OUTPUT. They are no gettext calls, so xgettext cannot find them.
# A CR LF in a text becomes LF: lookups drop every CR before searching.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/RuntimeTexts.cmake)
read_runtime_texts(${INPUT} names ids texts)
set(body "")
foreach(name id text IN ZIP_LISTS names ids texts)
  string(REPLACE "\\r\\n" "\\n" text "${text}")
  string(APPEND body "#. Runtime text ${name} (${id})\n")
  if(text MATCHES "%[sdux]")
    string(APPEND body "#, c-format\n")
  endif()
  string(APPEND body "msgid \"${text}\"\nmsgstr \"\"\n\n")
endforeach()
file(WRITE ${OUTPUT} "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n${body}")
