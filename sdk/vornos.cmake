# CMake toolchain file for programs of the system:
#   cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=<sdk>/vornos.cmake
# Compiles and links with the SDK's drivers beside this file; ctest and add_custom_command
# run the programs under vornos-run (<sdk>/../bin/vornos-run, where the build and the
# install put it).
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR i386)

get_filename_component(VORNOS_SDK_DIR "${CMAKE_CURRENT_LIST_DIR}" REALPATH)
set(CMAKE_C_COMPILER "${VORNOS_SDK_DIR}/bin/vornos-cc")
set(CMAKE_CXX_COMPILER "${VORNOS_SDK_DIR}/bin/vornos-c++")
set(CMAKE_ASM_COMPILER "${VORNOS_SDK_DIR}/bin/vornos-cc")
get_filename_component(VORNOS_RUN "${VORNOS_SDK_DIR}/../bin/vornos-run" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${VORNOS_RUN}")

# Libraries and headers come from the SDK only; programs such as code generators from the host.
set(CMAKE_FIND_ROOT_PATH "${VORNOS_SDK_DIR}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
