# Headers are included by their path from the repository's root: "platform/ini/IniFile.h". So that a
# library reaches only the headers of what it links, no target sees the root itself: each library
# publishes a view, a folder in the build tree that holds a link to its own source folder alone, and
# whoever links the library gets that view on its include path. A header of a library that is not
# linked is then not found, and a wrong dependency fails to build instead of compiling by accident.
#
# ex2qln_headers(target): publishes the view of the folder whose CMakeLists.txt defines `target`
# (PUBLIC for a library, INTERFACE for an interface library, PRIVATE for a program, whose own
# helper headers it then reaches the same way).
function(ex2qln_headers target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" viewName "${folder}")
  set(view ${PROJECT_BINARY_DIR}/include/${viewName})
  if(NOT EXISTS ${view}/${folder})
    get_filename_component(parent ${view}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${view}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${view})
  elseif(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${view})
  else()
    target_include_directories(${target} PUBLIC ${view})
  endif()
endfunction()
