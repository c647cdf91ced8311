# HL7 grammar functions and the cutting of captured streams into messages and segments.
halcyra_add_fuzzer(hl7_grammar SOURCES ${CMAKE_CURRENT_LIST_DIR}/Hl7GrammarFuzz.cpp LIBS halcyra_hl7)
halcyra_add_fuzzer(hl7_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/Hl7StreamFuzz.cpp LIBS halcyra_hl7)
