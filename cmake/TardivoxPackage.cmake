# The Debian package, made from the install rules by CPack in the build tree that built the
# program (cd build/release && cpack): tardivox_<version>_<arch>.deb. Its Depends come from
# dpkg-shlibdeps over the installed program, so they name exactly the libraries it links and
# the versions this machine's build needs.
if(NOT TARDIVOX_BUILD_APP)
  return()
endif()

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT deb_arch)
  set(deb_arch amd64)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tardivox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tardivox")
set(CPACK_PACKAGE_CONTACT "Tardivox developers <tardivox@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "delays live audio by an exact, adjustable time")
set(CPACK_PACKAGE_DESCRIPTION
    "Tardivox captures sound from an input device and line, holds it back by a delay set in "
    "seconds or in samples and plays it on an output device, sample-exact and without gaps. "
    "A French desktop window with two history strips; runs on PulseAudio and on PipeWire "
    "(pipewire-pulse).")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME tardivox_${PROJECT_VERSION}_${deb_arch}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A sound server to talk to; the library alone (libpulse0, from shlibdeps) cannot play.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
