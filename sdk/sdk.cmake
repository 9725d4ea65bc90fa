# The SDK: compiler drivers, public headers, start-up object, libc.a and linker script under
# build/sdk. Everything built for the system, the command and the tests included, goes
# through these drivers, so a programmer's build is exactly ours.

find_program(VORNOS_CLANG clang REQUIRED)
find_program(VORNOS_CLANGXX clang++ REQUIRED)
find_program(VORNOS_LINKER ld.lld REQUIRED)
execute_process(
  COMMAND ${VORNOS_CLANG} --target=i386-unknown-linux-gnu --rtlib=compiler-rt -print-libgcc-file-name
  OUTPUT_VARIABLE VORNOS_BUILTINS OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT EXISTS "${VORNOS_BUILTINS}")
  message(FATAL_ERROR "clang's i386 support library (64-bit division) not found: ${VORNOS_BUILTINS}")
endif()

set(VORNOS_SDK ${CMAKE_BINARY_DIR}/sdk)
set(VORNOS_CC ${VORNOS_SDK}/bin/vornos-cc)
set(VORNOS_CXX ${VORNOS_SDK}/bin/vornos-c++)
# Optimisation the project builds its own guest code with; a programmer picks their own.
# Debug information names sources relative to the repository, never by this machine's paths.
set(VORNOS_GUEST_OPT -O2 -g -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)

# 32-bit x86 against the system's own headers and library only; floating point on the x87
# only and never contracted, because the floating-point parser's results are defined by its
# exact sequence of roundings. Programs keep the hosted meaning of main (a freestanding C++
# main would get a mangled name that _start cannot call), but the compiler may not rewrite
# calls into other library functions (printf into puts, say): this library's functions do
# not all behave as the C standard's. The library itself is built freestanding (below).
# Frame pointers stay in every function (the library's too), so that a crash report and a
# debugger can follow the calls without unwind tables; a programmer's -fomit-frame-pointer,
# which comes after these flags, still wins.
set(common_flags
  --target=i386-unknown-none-elf -march=i686 -mno-sse -mno-mmx -ffp-contract=off -fno-omit-frame-pointer
  -fno-builtin -nostdlibinc -fno-pic -fno-pie -fno-stack-protector
  -fno-asynchronous-unwind-tables -fno-unwind-tables -ffunction-sections -fdata-sections)
set(cxx_flags -std=c++20 -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit)

function(vornos_configure_driver name compiler extra_include)
  list(JOIN ARGN " " VORNOS_COMPILE_FLAGS)
  set(VORNOS_DRIVER_NAME ${name})
  set(VORNOS_COMPILER ${compiler})
  set(VORNOS_EXTRA_INCLUDE ${extra_include})
  configure_file(${CMAKE_SOURCE_DIR}/sdk/vornos-cc.in ${VORNOS_SDK}/bin/${name}
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                 GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
# The C++ driver sees the C++ headers (include/c++) in front of the C headers.
vornos_configure_driver(vornos-cc ${VORNOS_CLANG} "" ${common_flags})
vornos_configure_driver(vornos-c++ ${VORNOS_CLANGXX} [[-isystem "$sdk/include/c++"]] ${common_flags} ${cxx_flags})

# The CMake toolchain file, and an empty libm.a so that -lm links (no maths functions yet).
configure_file(${CMAKE_SOURCE_DIR}/sdk/vornos.cmake ${VORNOS_SDK}/vornos.cmake COPYONLY)
file(WRITE ${VORNOS_SDK}/lib/libm.a "!<arch>\n")

# Public headers, copied whenever one of them changes: the C headers, the interface they share
# with the kernel (vornos/abi/) and errno.h made from its error list, then the C++ headers.
file(GLOB_RECURSE VORNOS_PUBLIC_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/runtime/include/*
     ${CMAKE_SOURCE_DIR}/runtime/cxx/include/* ${VORNOS_ABI_INCLUDE}/*)
set(VORNOS_HEADERS_STAMP ${VORNOS_SDK}/include/.stamp)
vornos_errno_header_command(make_errno_header ${VORNOS_SDK}/include/errno.h)
add_custom_command(
  OUTPUT ${VORNOS_HEADERS_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VORNOS_SDK}/include
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/runtime/include ${VORNOS_SDK}/include
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${VORNOS_ABI_INCLUDE} ${VORNOS_SDK}/include
  COMMAND ${make_errno_header}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/runtime/cxx/include ${VORNOS_SDK}/include/c++
  COMMAND ${CMAKE_COMMAND} -E touch ${VORNOS_HEADERS_STAMP}
  DEPENDS ${VORNOS_PUBLIC_HEADERS} ${VORNOS_ERRNO_INPUTS}
  COMMENT "SDK headers")

add_custom_command(
  OUTPUT ${VORNOS_SDK}/lib/vornos.ld ${VORNOS_SDK}/lib/libclang_rt.builtins-i386.a
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/sdk/vornos.ld ${VORNOS_SDK}/lib/vornos.ld
  COMMAND ${CMAKE_COMMAND} -E copy ${VORNOS_BUILTINS} ${VORNOS_SDK}/lib/libclang_rt.builtins-i386.a
  DEPENDS ${CMAKE_SOURCE_DIR}/sdk/vornos.ld ${VORNOS_BUILTINS}
  COMMENT "SDK linker script and support library")

# Generators other than Ninja know a custom command's output only in the directory that
# makes it, so programs built elsewhere also wait for these targets (vornos_sdk: command.cmake).
add_custom_target(vornos_sdk_headers DEPENDS ${VORNOS_HEADERS_STAMP})
set(VORNOS_SDK_INPUTS ${VORNOS_HEADERS_STAMP} ${VORNOS_CC} ${VORNOS_CXX})
set(VORNOS_LINK_INPUTS ${VORNOS_SDK}/lib/vornos.ld ${VORNOS_SDK}/lib/libclang_rt.builtins-i386.a
    ${VORNOS_SDK}/lib/crt0.o ${VORNOS_SDK}/lib/libc.a)

# vornos_compile(<out-var> <object-dir> <source>...): one object per source, through the SDK
# driver, with header dependencies from the compiler's depfile. The caller's
# VORNOS_COMPILE_EXTRA (include directories of its own) is added to every compile.
function(vornos_compile out_var object_dir)
  set(objects)
  foreach(source ${ARGN})
    get_filename_component(source ${source} ABSOLUTE)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${source})
    set(object ${object_dir}/${rel}.o)
    get_filename_component(dir ${object} DIRECTORY)
    if(source MATCHES "\\.(c|S)$")
      set(driver ${VORNOS_CC})
    else()
      set(driver ${VORNOS_CXX})
    endif()
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${driver} ${VORNOS_GUEST_OPT} -Wall -Wextra ${VORNOS_COMPILE_EXTRA} -c ${source} -o ${object} -MD -MF ${object}.d
      DEPENDS ${source} ${VORNOS_SDK_INPUTS} vornos_sdk_headers
      DEPFILE ${object}.d
      COMMENT "vornos: ${rel}"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  set(${out_var} ${objects} PARENT_SCOPE)
endfunction()

# vornos_link(<output> <object>... [FLAGS <driver flag>...]): a static program image for
# the system.
function(vornos_link output)
  cmake_parse_arguments(PARSE_ARGV 1 link "" "" "FLAGS")
  get_filename_component(dir ${output} DIRECTORY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VORNOS_CXX} ${link_UNPARSED_ARGUMENTS} ${link_FLAGS} -o ${output}
    DEPENDS ${link_UNPARSED_ARGUMENTS} ${VORNOS_LINK_INPUTS} ${VORNOS_CXX} vornos_sdk
    COMMENT "vornos: link ${output}"
    VERBATIM)
endfunction()
