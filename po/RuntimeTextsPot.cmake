# Writes the runtime texts of the *Texts.def files in INPUT (a CMake list) as
# PO template entries to OUTPUT. They are no gettext calls, so xgettext
# cannot find them. A CR LF in a text becomes LF: lookups drop every CR
# before searching. A text with a printf conversion is marked c-format, so
# that msgfmt --check holds every translation to the same placeholders.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/RuntimeTexts.cmake)
set(body "")
foreach(def IN LISTS INPUT)
  read_runtime_texts(${def} names ids texts notes)
  foreach(name id text note IN ZIP_LISTS names ids texts notes)
    string(REPLACE "\\r\\n" "\\n" text "${text}")
    if(NOT note STREQUAL "-")
      string(APPEND body "#. TRANSLATORS: ${note}\n")
    endif()
    string(APPEND body "#. Runtime text ${name} (${id})\n")
    if(text MATCHES "%[-+ #0]*[0-9]*(\\.[0-9]+)?[sdiuxXc]")
      string(APPEND body "#, c-format\n")
    endif()
    string(APPEND body "msgid \"${text}\"\nmsgstr \"\"\n\n")
  endforeach()
endforeach()
file(WRITE ${OUTPUT} "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n${body}")
