# tvpack's manual page, written from its own --help and --version plus the
# sections in tvpack.h2m, tidied by tvpack-man.sed, and packed with gzip as
# manual pages are installed.
# Its date is the release time, so that the page is the same on every build.
find_program(HELP2MAN help2man REQUIRED)
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/tvpack.1)
# Rewritten only when the time changes, so that the page follows it.
set(release_time ${CMAKE_CURRENT_BINARY_DIR}/release-time)
file(CONFIGURE OUTPUT ${release_time} CONTENT "${TVP_SOURCE_DATE_EPOCH}\n")
add_custom_command(
  OUTPUT ${man_page} ${man_page}.gz
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TVP_SOURCE_DATE_EPOCH} LC_ALL=C.UTF-8
          ${HELP2MAN} --no-info --section=1
          "--name=pack game mods into mod archives, list, extract and verify them"
          --include=${CMAKE_CURRENT_SOURCE_DIR}/tvpack.h2m --output=${man_page}.help2man $<TARGET_FILE:tvpack>
  COMMAND sed -f ${CMAKE_CURRENT_SOURCE_DIR}/tvpack-man.sed ${man_page}.help2man > ${man_page}
  COMMAND gzip -9 --no-name --force --keep ${man_page}
  DEPENDS tvpack ${CMAKE_CURRENT_SOURCE_DIR}/tvpack.h2m ${CMAKE_CURRENT_SOURCE_DIR}/tvpack-man.sed ${release_time}
  COMMENT "Writing tvpack's manual page")
add_custom_target(manual_page ALL DEPENDS ${man_page}.gz)
