# The start-up object (shared with every program through the SDK) and the mendir command.
# Without debug information: the assembler would record this machine's path of the source,
# and the linker would show it to every programmer whose program lacks a main.
set(VORNOS_COMPILE_EXTRA -g0)
vornos_compile(crt0_object ${CMAKE_BINARY_DIR}/guest-obj ${CMAKE_SOURCE_DIR}/command/user_crt0.S)
unset(VORNOS_COMPILE_EXTRA)
add_custom_command(
  OUTPUT ${VORNOS_SDK}/lib/crt0.o
  COMMAND ${CMAKE_COMMAND} -E copy ${crt0_object} ${VORNOS_SDK}/lib/crt0.o
  DEPENDS ${crt0_object})

file(GLOB mendir_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/command/mendir_uelf.cpp
     ${CMAKE_SOURCE_DIR}/command/user_pkgmeta.cpp)
vornos_compile(mendir_objects ${CMAKE_BINARY_DIR}/guest-obj ${mendir_sources})
# Linked stripped: the system's loader and tools need no symbol tables.
vornos_link(${CMAKE_BINARY_DIR}/bin/mendir ${mendir_objects} FLAGS -s)

add_custom_target(vornos_sdk ALL DEPENDS ${VORNOS_SDK_INPUTS} ${VORNOS_LINK_INPUTS})
add_custom_target(mendir ALL DEPENDS ${CMAKE_BINARY_DIR}/bin/mendir)
