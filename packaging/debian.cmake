# The Debian package: `cmake --build build --target lyrevane_deb`, or `cpack -G DEB` in the
# build folder. Configure with -DCMAKE_INSTALL_PREFIX=/usr so that the autostart entry
# lands in /etc/xdg/autostart.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lyrevane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quillmoor)
set(CPACK_PACKAGE_CONTACT "Quillmoor Lyrevane Team <info@quillmoor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player of the Quillmoor portal's live programme")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Lyrevane plays the Quillmoor portal's daily live audio programme for\n\
small-cap traders and the streams its pages offer, beside the portal's\n\
pages. It keeps a list of online brokers and a recolourable skin.\n\
.\n\
LyrevaneScheduler, started with the desktop session, opens the player on\n\
scheduled broadcasts.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quillmoor.example/lyrevane")
# Libraries found by dpkg-shlibdeps, plus what libVLC and Qt WebEngine load at run time
# without linking it: libVLC's plug-ins (HTTP access, decoders, PulseAudio output), the
# browser engine's helper process, Qt's X11 and Wayland platform plug-ins, xdg-open,
# the distribution's Public Suffix List that libpsl reads (newer than its built-in one), and
# the system CA store that the media input (libcurl) checks https streams against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "vlc-plugin-base, libqt6webenginecore6-bin, xdg-utils, libpsl5, publicsuffix, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pulseaudio | pipewire-pulse")
# The autostart entry under /etc is a configuration file the administrator may edit.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles
     "${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart/lyrevane-scheduler.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/triggers ${CMAKE_CURRENT_BINARY_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

add_custom_target(lyrevane_deb
                  COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
                  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                  COMMENT "Building the Debian package" VERBATIM)
add_dependencies(lyrevane_deb lyrevane_docs LyrevaneScheduler)
if(TARGET Lyrevane)
  add_dependencies(lyrevane_deb Lyrevane)
endif()
