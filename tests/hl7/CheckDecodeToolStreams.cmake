# halcyra-hl7 decode on inputs that never end, that are too large, with control characters, and on
# outputs that fail. -DTOOL=<halcyra-hl7> -DWORK=<scratch folder>

string(ASCII 11 SB)
string(ASCII 13 CR)
string(ASCII 27 ESC)
string(ASCII 28 EB)
set(message "${SB}MSH|^~\\&|||||||||P|2.3${CR}PID|||42||Doe^Jane${CR}OBX|1|NM|0002-4182^HR||72|/min${CR}${EB}${CR}")

function(expect condition text)
  if(NOT ${condition})
    message(FATAL_ERROR "${text}")
  endif()
endfunction()

# A full disk: the failed write is named, exit 1.
execute_process(COMMAND ${TOOL} decode - --json INPUT_FILE ${CMAKE_CURRENT_LIST_DIR}/data/done-when.hl7
                OUTPUT_FILE /dev/full RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT err MATCHES "cannot write standard output: No space left on device")
  message(FATAL_ERROR "full disk: rc=${rc} err='${err}'")
endif()

# A pipe that never ends: messages come out while it runs (the reader stops after 20 lines), and the
# reader's leaving ends the tool quietly.
execute_process(COMMAND yes "MSH|^~\\&|||||||||P|2.3" COMMAND ${TOOL} decode --json COMMAND head -n 20
                RESULTS_VARIABLE results OUTPUT_VARIABLE out ERROR_VARIABLE err)
list(GET results 1 rc)
string(REGEX MATCHALL "\n" lines "${out}")
list(LENGTH lines count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 20 OR NOT err STREQUAL "")
  message(FATAL_ERROR "endless pipe: rc=${rc} lines=${count} err='${err}'")
endif()

# Lines that never start a message, from a pipe that never ends: stopped at the limit, memory bounded.
execute_process(COMMAND yes "OBX|1|NM|1^A||1|u" COMMAND ${TOOL} decode RESULTS_VARIABLE results OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
list(GET results 1 rc)
if(NOT rc EQUAL 1 OR NOT out STREQUAL "" OR NOT err MATCHES "message 1 is longer than 1048576 bytes")
  message(FATAL_ERROR "endless lines: rc=${rc} out='${out}' err='${err}'")
endif()

# A frame that does not end before the limit: the messages before it are printed, then it stops.
string(REPEAT "x" 1100000 filler)
file(WRITE ${WORK}/too-large.hl7 "${message}${SB}MSH|${filler}")
execute_process(COMMAND ${TOOL} decode ${WORK}/too-large.hl7 --json RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
string(REGEX MATCHALL "\n" lines "${out}")
list(LENGTH lines count)
if(NOT rc EQUAL 1 OR NOT count EQUAL 1 OR NOT err MATCHES "message 2 is longer than 1048576 bytes")
  message(FATAL_ERROR "too large: rc=${rc} lines=${count} err='${err}'")
endif()

# Many messages in one file: each decoded once.
string(REPEAT "${message}" 5000 many)
file(WRITE ${WORK}/many.hl7 "${many}")
execute_process(COMMAND ${TOOL} decode ${WORK}/many.hl7 --json RESULT_VARIABLE rc OUTPUT_VARIABLE out)
string(REGEX MATCHALL "\"patientId\":\"42\"" ids "${out}")
list(LENGTH ids count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 5000)
  message(FATAL_ERROR "many messages: rc=${rc} decoded=${count}")
endif()

# Control characters from the stream are shown escaped, never raw.
file(WRITE ${WORK}/escape.hl7 "${SB}MSH|^~\\&|||||||||P|2.3${CR}PID|||1${ESC}[2J||Do${ESC}e^Jane${CR}${EB}${CR}")
execute_process(COMMAND ${TOOL} decode ${WORK}/escape.hl7 RESULT_VARIABLE rc OUTPUT_VARIABLE out)
string(FIND "${out}" "${ESC}" raw)
if(NOT rc EQUAL 0 OR NOT raw EQUAL -1 OR NOT out MATCHES "Last name: \"Do\\\\x1Be\"")
  message(FATAL_ERROR "escaping: rc=${rc} out='${out}'")
endif()
execute_process(COMMAND ${TOOL} decode ${WORK}/escape.hl7 --json RESULT_VARIABLE rc OUTPUT_VARIABLE out)
string(FIND "${out}" "${ESC}" raw)
if(NOT rc EQUAL 0 OR NOT raw EQUAL -1 OR NOT out MATCHES "\"lastName\":\"Do\\\\u001be\"")
  message(FATAL_ERROR "escaping in JSON: rc=${rc} out='${out}'")
endif()
