# The one release number (project() in the top CMakeLists.txt) handed to the
# programs: a header for the code, and on Windows a version resource that the
# file's properties show.

# Gives target the generated header "tvp_version.h".
function(tvp_version_header target)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/version.h.in
                 ${CMAKE_BINARY_DIR}/generated/tvp_version.h @ONLY)
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
endfunction()

# Adds a VERSIONINFO resource naming the file and what it is to the
# executable target (Windows only).
function(tvp_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  enable_language(RC)
  get_target_property(TVP_FILE_NAME ${target} OUTPUT_NAME)
  if(NOT TVP_FILE_NAME)
    set(TVP_FILE_NAME ${target})
  endif()
  set(TVP_FILE_DESCRIPTION "${description}")
  # The numeric version always has four parts; missing ones are zero (the
  # empty ones vanish from the list).
  set(numbers ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
  list(LENGTH numbers count)
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  list(JOIN numbers "," TVP_VERSION_NUMBERS)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/version_info.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
endfunction()
