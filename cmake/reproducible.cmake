# Builds that give the same bytes wherever and whenever they run.
#
# TVP_SOURCE_DATE_EPOCH is the one time stamp the release files carry (the
# manual page's date, the times inside the packages): SOURCE_DATE_EPOCH when
# the environment sets it, else the time of the last commit. A source
# tarball has no history; git archive writes that time into
# packaging/source-date-epoch instead.
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(TVP_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  file(READ ${CMAKE_SOURCE_DIR}/packaging/source-date-epoch TVP_SOURCE_DATE_EPOCH)
  string(STRIP "${TVP_SOURCE_DATE_EPOCH}" TVP_SOURCE_DATE_EPOCH)
  if(NOT TVP_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    execute_process(COMMAND git log -1 --format=%ct
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE TVP_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    # Configure again after every commit or checkout, to follow the time.
    execute_process(COMMAND git rev-parse --absolute-git-dir
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    if(EXISTS "${git_dir}/logs/HEAD")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_dir}/logs/HEAD")
    endif()
  endif()
endif()
if(NOT TVP_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No release time: set SOURCE_DATE_EPOCH, or build from a git clone or a source tarball")
endif()

# Neither the source nor the build folder is written into the objects: debug
# information and __FILE__ name files relative to them, and so the ELF build
# ID stays the same. The build folder comes last so that it wins where it
# lies inside the source folder.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)

# A PE file's header holds its link time; zero it. (Stripping writes the
# time again: cpack strips with SOURCE_DATE_EPOCH set, so the packaged
# programs carry the release time.)
if(WIN32)
  add_link_options(LINKER:--no-insert-timestamp)
endif()
