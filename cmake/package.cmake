# Installation and the Linux packages. `cmake --install` lays the intro out as a system does:
#   bin/vekintro                        the host
#   lib/glimmerfrost/libvekintro.so     the intro library, which the host loads by its own path
#                                       (../lib/glimmerfrost from bin/), so no rpath is needed
#   share/glimmerfrost/vek.bin          the data, found by the host relative to itself
#   share/doc/glimmerfrost/README.md
# CPack makes a .tar.gz of that tree and a .deb installing it under /usr (scripts/package).
if(WIN32)
  return()
endif()

install(TARGETS vekintro RUNTIME DESTINATION bin)
install(TARGETS vekintro_library LIBRARY DESTINATION lib/glimmerfrost)
install(FILES ${PROJECT_BINARY_DIR}/data/vek.bin DESTINATION share/glimmerfrost)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/glimmerfrost)

set(CPACK_PACKAGE_NAME glimmerfrost)
set(CPACK_PACKAGE_VENDOR "Glimmerfrost")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Glimmerfrost: a real-time audiovisual intro with its own software 3D renderer")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME "glimmerfrost-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Glimmerfrost developers <intro@glimmerfrost.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The libraries the host and the intro library load (SDL2 for the window and sound, libxmp for the
# music, libpng for captures) and the C and C++ runtimes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libsdl2-2.0-0, libxmp4, libpng16-16")
include(CPack)
