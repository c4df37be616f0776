# The target processor's names where other software names it: the directory
# of a Java 8 runtime's native libraries under "lib" (BRAMLET_JAVA_ARCH) and
# Debian's architecture (BRAMLET_DEB_ARCH), which names packages and the
# distribution's JDK directories. They follow the target, not the machine
# that builds.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(BRAMLET_JAVA_ARCH amd64)
  set(BRAMLET_DEB_ARCH amd64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(BRAMLET_JAVA_ARCH aarch64)
  set(BRAMLET_DEB_ARCH arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^i[3-6]86$")
  set(BRAMLET_JAVA_ARCH i386)
  set(BRAMLET_DEB_ARCH i386)
else()
  set(BRAMLET_JAVA_ARCH ${CMAKE_SYSTEM_PROCESSOR})
  set(BRAMLET_DEB_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()
