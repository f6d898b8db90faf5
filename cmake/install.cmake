# Where `cmake --install` puts Orvanta, and the Debian package CPack makes of it (`make package`).
# The programs go to bin/, together, because the desktop program starts orvantajpeg from its own
# folder; help pages go to share/orvanta/help, where an installed program looks for them.
include(GNUInstallDirs)

set(ORVANTA_APP_ID com.brindlemoor.orvanta)

# The build tree: the icon beside the programs, for the desktop launcher of an uninstalled copy.
configure_file(${CMAKE_SOURCE_DIR}/resources/orvanta.png ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/orvanta.png COPYONLY)

foreach(program orvanta orvanta-cli orvantajpeg)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET vantler)
  # libvantler.so.X.Y.Z, its soname link libvantler.so.N and the development link libvantler.so.
  # Everything of the library is also the install component "vantler", which a host's build can
  # install alone (cmake --install build --component vantler).
  install(TARGETS vantler EXPORT vantler-targets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT vantler)
  file(GLOB _vantler_headers ${CMAKE_SOURCE_DIR}/control/*.h)
  list(FILTER _vantler_headers EXCLUDE REGEX "designer_plugin\\.h$")
  install(FILES ${_vantler_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vantler COMPONENT vantler)
  # How other programs build against it: a CMake package (find_package(vantler), target
  # vantler::vantler) and a pkg-config file (pkg-config --cflags --libs vantler).
  include(CMakePackageConfigHelpers)
  set(_vantler_cmake ${CMAKE_INSTALL_LIBDIR}/cmake/vantler)
  install(EXPORT vantler-targets NAMESPACE vantler:: DESTINATION ${_vantler_cmake} COMPONENT vantler)
  configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/vantler-config.cmake.in
    ${CMAKE_BINARY_DIR}/vantler/vantler-config.cmake INSTALL_DESTINATION ${_vantler_cmake})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/vantler/vantler-config-version.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/vantler/vantler-config.cmake ${CMAKE_BINARY_DIR}/vantler/vantler-config-version.cmake
    DESTINATION ${_vantler_cmake} COMPONENT vantler)
  file(RELATIVE_PATH VANTLER_PC_TO_PREFIX /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
  string(REGEX REPLACE "/$" "" VANTLER_PC_TO_PREFIX "${VANTLER_PC_TO_PREFIX}")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/vantler.pc.in ${CMAKE_BINARY_DIR}/vantler/vantler.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/vantler/vantler.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT vantler)
endif()

if(TARGET vantlerdesigner)
  # Qt Designer's own plugin folder (control/CMakeLists.txt chooses it). The plugin finds
  # libvantler from any prefix.
  file(RELATIVE_PATH _to_lib /p/${VANTLER_DESIGNER_INSTALL_DIR} /p/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(vantlerdesigner PROPERTIES INSTALL_RPATH "$ORIGIN/${_to_lib}")
  install(TARGETS vantlerdesigner LIBRARY DESTINATION ${VANTLER_DESIGNER_INSTALL_DIR} COMPONENT vantler)
endif()

file(GLOB _help_pages ${CMAKE_SOURCE_DIR}/help/*.html ${CMAKE_SOURCE_DIR}/help/*.css)
install(FILES ${_help_pages} DESTINATION ${CMAKE_INSTALL_DATADIR}/orvanta/help)

# The icon in the sizes drawn; the background and splash art are compiled into the program.
install(FILES ${CMAKE_SOURCE_DIR}/resources/orvanta.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES ${CMAKE_SOURCE_DIR}/resources/orvanta-32.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME orvanta.png)
install(FILES ${CMAKE_SOURCE_DIR}/resources/${ORVANTA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/${ORVANTA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The licence and the changelog, as Debian keeps them: a machine-readable copyright file and a
# compressed changelog in the package's documentation folder.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE _license)
string(REGEX REPLACE "^.*Copyright \\(c\\)[^\n]*\n+" "" _license "${_license}")
string(REGEX REPLACE "\n+$" "" _license "${_license}")
string(REPLACE "\n\n" "\n.\n" _license "${_license}")
string(REPLACE "\n" "\n " ORVANTA_LICENSE_TEXT " ${_license}")
set(_doc ${CMAKE_BINARY_DIR}/doc)
configure_file(${CMAKE_SOURCE_DIR}/cmake/copyright.in ${_doc}/copyright @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/changelog.in ${_doc}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${_doc}/changelog RESULT_VARIABLE _gzip)
if(NOT _gzip EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the package's changelog")
endif()
install(FILES ${_doc}/copyright ${_doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvanta)

# The Debian package. Its dependencies on libraries come from dpkg-shlibdeps, so whatever the
# programs link (Qt, TurboJPEG, Exiv2, OpenCV...) is declared without being listed here; the Qt plugins
# they load at run time are not linked and are named.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanta)
set(CPACK_PACKAGE_VENDOR "${ORVANTA_VENDOR}")
set(CPACK_PACKAGE_CONTACT "${ORVANTA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVANTA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "focus stacking: one sharp picture from a focus series")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Orvanta combines a series of pictures of one subject, each taken with the focus at a different depth, "
    "into one montage in which every part of the subject is in focus. The package holds the desktop program "
    "orvanta, the batch front end orvanta-cli, and the vantler picture-box widget library with its Qt "
    "Designer plugin.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORVANTA_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libvantler is in the package itself: the Designer plugin's need of it is no dependency. The
# package says which of its versions it provides (a shlibs file), as a package with a library does.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The TIFF reader is a plugin Qt loads, not a library the programs link (the window-system and
# JPEG/GIF plugins come with libqt6gui6 itself).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-user-dirs")
include(CPack)
