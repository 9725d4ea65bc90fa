# The runtime library: every unit under runtime/ into the SDK's libc.a.
file(GLOB_RECURSE VORNOS_RUNTIME_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/runtime/*.cpp ${CMAKE_SOURCE_DIR}/runtime/*.S)
# Freestanding: the library is what lies beneath, so the compiler must not assume a C library
# (it would turn memset's own loop into a call to memset).
set(VORNOS_COMPILE_EXTRA -ffreestanding -I${CMAKE_SOURCE_DIR}/runtime)
vornos_compile(runtime_objects ${CMAKE_BINARY_DIR}/guest-obj ${VORNOS_RUNTIME_SOURCES})
add_custom_command(
  OUTPUT ${VORNOS_SDK}/lib/libc.a
  COMMAND ${CMAKE_COMMAND} -E rm -f ${VORNOS_SDK}/lib/libc.a
  COMMAND ${CMAKE_AR} qcs ${VORNOS_SDK}/lib/libc.a ${runtime_objects}
  DEPENDS ${runtime_objects}
  COMMENT "SDK libc.a")
unset(VORNOS_COMPILE_EXTRA)
