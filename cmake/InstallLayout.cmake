# Where the product's files go, relative to the installation prefix (/usr in the package). The build
# tree has the same layout, so the programs find the MAPI runtime, and the runtime the demo
# organisation, by the same relative paths there as in an installation: programs in bin/, the runtime
# in a directory of its own (a private library, not for other programs; under the multiarch library
# directory on Debian) and the demo organisation in share/.
set(EX2QLN_PROGRAM_DIR bin)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(EX2QLN_RUNTIME_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/ex2qln)
else()
  set(EX2QLN_RUNTIME_DIR lib/ex2qln)
endif()
set(EX2QLN_DATA_DIR share/ex2qln)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${EX2QLN_PROGRAM_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${EX2QLN_RUNTIME_DIR})

# The relative paths the code follows, in the generated InstallLayout.h (target ex2qln_install_layout).
file(RELATIVE_PATH EX2QLN_RUNTIME_FROM_PROGRAMS /${EX2QLN_PROGRAM_DIR} /${EX2QLN_RUNTIME_DIR})
file(RELATIVE_PATH EX2QLN_DATA_FROM_RUNTIME /${EX2QLN_RUNTIME_DIR} /${EX2QLN_DATA_DIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.h.in ${CMAKE_BINARY_DIR}/generated/layout/InstallLayout.h @ONLY)
add_library(ex2qln_install_layout INTERFACE)
target_include_directories(ex2qln_install_layout INTERFACE ${CMAKE_BINARY_DIR}/generated/layout)
