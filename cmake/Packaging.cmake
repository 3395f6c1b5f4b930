# The man page, the AppStream metadata and the Debian package of the program:
# `cmake --build build --target package` makes one .deb that installs under /usr.
include(GNUInstallDirs)

# The man page is made from --help, so every option the program knows is in it; res/cantrix.h2m
# adds the sections that --help does not hold.
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)
set(CANTRIX_MAN_PAGE ${PROJECT_BINARY_DIR}/cantrix.1)
add_custom_command(
  OUTPUT ${CANTRIX_MAN_PAGE} ${CANTRIX_MAN_PAGE}.gz
  COMMAND ${HELP2MAN} --no-info --section=1 "--name=convert PCM WAV files to MPEG Layer-3"
          --include=${PROJECT_SOURCE_DIR}/res/cantrix.h2m --output=${CANTRIX_MAN_PAGE} $<TARGET_FILE:cantrix>
  COMMAND ${GZIP} -9 -n -f -k ${CANTRIX_MAN_PAGE}
  DEPENDS cantrix ${PROJECT_SOURCE_DIR}/res/cantrix.h2m
  COMMENT "Making the man page from cantrix --help")
add_custom_target(man_page ALL DEPENDS ${CANTRIX_MAN_PAGE}.gz)
install(FILES ${CANTRIX_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Change the date with the version in project().
set(CANTRIX_RELEASE_DATE 2026-12-07)
set(CANTRIX_APP_ID com.quillonics.cantrix)
configure_file(${PROJECT_SOURCE_DIR}/res/cantrix.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${CANTRIX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${CANTRIX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# What Debian asks of every package: the copyright file (machine-readable, with the licence's
# text) and the changelog, compressed. A package that upstream builds is native, so the
# changelog is changelog.gz. Its latest entry names the version in project().
install(FILES ${PROJECT_SOURCE_DIR}/res/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(CANTRIX_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${CANTRIX_CHANGELOG}
  COMMAND ${GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/res/debian/changelog > ${CANTRIX_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/res/debian/changelog
  COMMENT "Compressing the changelog")
add_custom_target(changelog ALL DEPENDS ${CANTRIX_CHANGELOG})
install(FILES ${CANTRIX_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cantrix)
set(CPACK_PACKAGE_VENDOR Quillonics)
set(CPACK_PACKAGE_CONTACT "Cantrix maintainers <maintainers@users.noreply.c-seed-0d7c15ad.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert PCM WAV files to MPEG Layer-3")
# Lines of at most 80 columns, as Debian's tools show them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "A desktop converter that turns PCM WAV files into MPEG Layer-3: a raw .mp3\n"
       "stream, or the same stream inside a RIFF/WAVE .wav file, with quality presets\n"
       "and a compression preview. A terminal mode, cantrix --encode, converts many\n"
       "files and whole folders at once.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Depends are read off the program's libraries by dpkg-shlibdeps, never listed by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcanberra plays the window's event sounds through PulseAudio (or PipeWire's server for it)
# only with its PulseAudio back end.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcanberra-pulse)
set(CPACK_STRIP_FILES ON)
include(CPack)
