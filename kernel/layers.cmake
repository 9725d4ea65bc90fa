# The kernel's folders as layers: each folder is one static library that links, and may include
# from, only the folders it declares, all of them declared before it, so the layers form no cycle.
# vornos_kernel_layers_check() then holds every #include in kernel/ to the same declarations
# (kernel/check_layers.py states the rules) as a step of the build that the libraries wait for.

set(VORNOS_KERNEL_DIR ${CMAKE_CURRENT_LIST_DIR})
set_property(GLOBAL PROPERTY VORNOS_KERNEL_LAYERS "")
set_property(GLOBAL PROPERTY VORNOS_KERNEL_LAYER_LINES "")

# vornos_kernel_layer(FOLDER TARGET [PUBLIC FOLDER...] [PRIVATE FOLDER...])
# Makes the library TARGET (already added) the layer kernel/FOLDER: it links the layers it uses,
# PUBLIC those its headers include, PRIVATE those only its sources include.
function(vornos_kernel_layer folder target)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "PUBLIC;PRIVATE")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kernel layer ${folder}: unexpected ${arg_UNPARSED_ARGUMENTS}")
  endif()
  get_property(declared GLOBAL PROPERTY VORNOS_KERNEL_LAYERS)
  if(folder IN_LIST declared)
    message(FATAL_ERROR "kernel layer ${folder} is declared twice")
  endif()
  foreach(scope PUBLIC PRIVATE)
    foreach(used IN LISTS arg_${scope})
      if(NOT used IN_LIST declared)
        message(FATAL_ERROR "kernel layer ${folder} uses ${used}, which is not declared before it: "
                            "a layer uses only the layers below it")
      endif()
      get_property(used_target GLOBAL PROPERTY VORNOS_KERNEL_LAYER_TARGET_${used})
      target_link_libraries(${target} ${scope} ${used_target})
    endforeach()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY VORNOS_KERNEL_LAYERS ${folder})
  set_property(GLOBAL PROPERTY VORNOS_KERNEL_LAYER_TARGET_${folder} ${target})
  string(JOIN "," public ${arg_PUBLIC})
  string(JOIN "," private ${arg_PRIVATE})
  set_property(GLOBAL APPEND PROPERTY VORNOS_KERNEL_LAYER_LINES "${folder}|${public}|${private}")

  target_include_directories(${target} PUBLIC ${VORNOS_KERNEL_DIR})
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  add_dependencies(${target} kernel_layers)
endfunction()

# After the last layer: writes the declarations down and checks the includes against them
# whenever a file of kernel/ or a declaration changes.
function(vornos_kernel_layers_check)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  get_property(lines GLOBAL PROPERTY VORNOS_KERNEL_LAYER_LINES)
  string(JOIN "\n" text ${lines})
  set(declared ${CMAKE_BINARY_DIR}/kernel/layers.txt)
  set(checked ${CMAKE_BINARY_DIR}/kernel/layers.checked)
  file(CONFIGURE OUTPUT ${declared} CONTENT "${text}\n")
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${VORNOS_KERNEL_DIR}/*.h ${VORNOS_KERNEL_DIR}/*.hpp ${VORNOS_KERNEL_DIR}/*.inc
       ${VORNOS_KERNEL_DIR}/*.c ${VORNOS_KERNEL_DIR}/*.cc ${VORNOS_KERNEL_DIR}/*.cpp)
  add_custom_command(
    OUTPUT ${checked}
    COMMAND Python3::Interpreter ${VORNOS_KERNEL_DIR}/check_layers.py ${VORNOS_KERNEL_DIR} ${declared}
    COMMAND ${CMAKE_COMMAND} -E touch ${checked}
    DEPENDS ${VORNOS_KERNEL_DIR}/check_layers.py ${declared} ${sources}
    COMMENT "Checking the kernel's includes against its layers"
    VERBATIM)
  add_custom_target(kernel_layers ALL DEPENDS ${checked})
endfunction()
