# The floor the central-station benchmark sets beside each figure: a bare collector of the same stream.
add_executable(floor-collector ${CMAKE_CURRENT_LIST_DIR}/floor/FloorCollector.cpp)
target_link_libraries(floor-collector PRIVATE halcyra_warnings)
