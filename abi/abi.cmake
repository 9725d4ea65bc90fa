# The interface between the system's programs and its kernel, one definition for both sides:
# the call list, error numbers, open flags, records and limits (abi/include/vornos/abi/). The
# library reaches it through the SDK's include folder, which holds a copy; the kernel and its
# tests link vornos_abi. The headers are plain C where public headers include them, with C++
# forms of the same rows behind __cplusplus, and name nothing that a host C library names.
set(VORNOS_ABI_INCLUDE ${CMAKE_SOURCE_DIR}/abi/include)
add_library(vornos_abi INTERFACE)
target_include_directories(vornos_abi INTERFACE ${VORNOS_ABI_INCLUDE})

# vornos_make_errno_header(<output>): the command that writes errno.h from the error list.
set(VORNOS_ERRNO_INPUTS ${VORNOS_ABI_INCLUDE}/vornos/abi/errors.h ${CMAKE_SOURCE_DIR}/abi/errno.h.in
    ${CMAKE_SOURCE_DIR}/abi/make_errno_header.cmake)
function(vornos_errno_header_command out_var output)
  set(${out_var} ${CMAKE_COMMAND} -DERRORS=${VORNOS_ABI_INCLUDE}/vornos/abi/errors.h
      -DTEMPLATE=${CMAKE_SOURCE_DIR}/abi/errno.h.in -DOUTPUT=${output}
      -P ${CMAKE_SOURCE_DIR}/abi/make_errno_header.cmake PARENT_SCOPE)
endfunction()
