# The Windows tree's benchmark driver: the window program packing a mod the
# way a user does it, through its file dialog. Not built by default.
add_executable(window_pack EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/window_pack.cpp)
target_link_libraries(window_pack PRIVATE user32 gdi32)
target_link_options(window_pack PRIVATE -municode)

# What every packer must do under Wine, timed next to tvpack.exe.
add_executable(read_floor EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/read_floor.cpp)
target_link_options(read_floor PRIVATE -municode)
