# The relay client's reader: one stream whole and in pieces, with skipped reads and a throwing decoder, must
# give the same messages.
halcyra_add_fuzzer(relay_reader SOURCES ${CMAKE_CURRENT_LIST_DIR}/RelayReaderFuzz.cpp LIBS halcyra_relay)
