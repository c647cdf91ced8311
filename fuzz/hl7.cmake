# HL7 grammar functions and the cutting of captured streams into messages and segments.
halcyra_add_fuzzer(hl7_grammar SOURCES ${CMAKE_CURRENT_LIST_DIR}/Hl7GrammarFuzz.cpp LIBS halcyra_hl7)
halcyra_add_fuzzer(hl7_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/Hl7StreamFuzz.cpp LIBS halcyra_hl7)
# The fast path (capture reader, message index, message fields) compared with the grammar.
halcyra_add_fuzzer(hl7_fast_path SOURCES ${CMAKE_CURRENT_LIST_DIR}/Hl7FastPathFuzz.cpp
                   ${PROJECT_SOURCE_DIR}/tests/hl7/FastPathDiff.cpp LIBS halcyra_hl7)
target_include_directories(hl7_fast_path PRIVATE ${PROJECT_SOURCE_DIR}/tests/hl7)
# Decoded messages through the message handling of a collecting engine, checking the files it leaves.
halcyra_add_fuzzer(message_handler SOURCES ${CMAKE_CURRENT_LIST_DIR}/MessageHandlerFuzz.cpp
                   ${PROJECT_SOURCE_DIR}/tests/support/TempDir.cpp LIBS halcyra_engine)
target_include_directories(message_handler PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tests/hl7)
# The live framer: one stream whole and in pieces must give the same messages.
halcyra_add_fuzzer(hl7_framer SOURCES ${CMAKE_CURRENT_LIST_DIR}/Hl7FramerFuzz.cpp LIBS halcyra_hl7)
