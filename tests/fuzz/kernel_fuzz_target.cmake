# A fuzz target of a kernel layer: NAME_fuzz_replay runs fuzz target SOURCE on every file of the corpus/
# folder beside it as the test fuzz.NAME.replay, linked with the layer's LIBRARY; with -DVORNOS_FUZZ=ON
# (and clang) NAME_fuzz is the libFuzzer program, with LIBRARY's own sources compiled in under the address
# and undefined-behaviour sanitizers so that the fuzzer sees their coverage. Libraries below LIBRARY come
# after it (LINK), uninstrumented. CORPUS names another folder for the corpus.
option(VORNOS_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

function(vornos_kernel_fuzz_target name source library)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "CORPUS" "LINK")
  if(NOT arg_CORPUS)
    set(arg_CORPUS corpus)
  endif()
  add_executable(${name}_fuzz_replay ${source} ${CMAKE_SOURCE_DIR}/tests/fuzz/fat32/replay_main.cpp)
  target_link_libraries(${name}_fuzz_replay PRIVATE ${library})
  add_test(NAME fuzz.${name}.replay COMMAND ${name}_fuzz_replay ${CMAKE_CURRENT_SOURCE_DIR}/${arg_CORPUS})
  if(NOT VORNOS_FUZZ)
    return()
  endif()
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VORNOS_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  get_target_property(library_sources ${library} SOURCES)
  get_target_property(library_dir ${library} SOURCE_DIR)
  list(TRANSFORM library_sources PREPEND ${library_dir}/)
  add_executable(${name}_fuzz ${source} ${library_sources})
  target_include_directories(${name}_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/kernel)
  target_link_libraries(${name}_fuzz PRIVATE ${arg_LINK})
  target_compile_options(${name}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()
