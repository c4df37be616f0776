# Read by cpack for a cross build: dpkg-shlibdeps takes the architecture of
# the programs it reads from DEB_HOST_ARCH, so that it runs the target's
# objdump on them and looks for their libraries among the target's.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
