# The Windows tree's benchmark driver: the window program's packing path with
# a real EDIT control as the pane. Not built by default.
add_executable(pane_pack EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/pane_pack.cpp)
target_link_libraries(pane_pack PRIVATE packer_pane)
target_link_options(pane_pack PRIVATE -municode)
