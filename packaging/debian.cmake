# The Debian changelog, packed as Debian installs it. Its newest entry must
# name the release number of project(), or the package would contradict it.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^tolvane-packer \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the newest entry is not version ${PROJECT_VERSION}: ${newest}")
endif()

set(debian_changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${debian_changelog}
  COMMAND gzip -9 --no-name --stdout ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog > ${debian_changelog}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog
  COMMENT "Packing the Debian changelog")
add_custom_target(debian_changelog ALL DEPENDS ${debian_changelog})
