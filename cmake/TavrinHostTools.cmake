# Programs the build itself runs (the class scrambler, the icon maker) are
# built for the build host with its own compiler, so they run on any host,
# whatever the target architecture and whether or not Wine can run it there.
find_program(TAVRIN_HOST_CXX NAMES g++ c++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(TAVRIN_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)

# tavrin_host_tool(<name> SOURCES <files...> [INCLUDES <folders...>] [DEPENDS <files...>])
# Builds host-tools/<name> and a target <name> to depend on; the program's path
# is TAVRIN_HOST_TOOL_<name>, visible everywhere in the build.
function(tavrin_host_tool name)
  cmake_parse_arguments(TOOL "" "" "SOURCES;INCLUDES;DEPENDS" ${ARGN})
  set(program ${TAVRIN_HOST_TOOLS_DIR}/${name})
  list(TRANSFORM TOOL_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  list(TRANSFORM TOOL_INCLUDES PREPEND -I)
  add_custom_command(
    OUTPUT ${program}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVRIN_HOST_TOOLS_DIR}
    COMMAND ${TAVRIN_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -Werror ${TOOL_INCLUDES} ${TOOL_SOURCES}
            -o ${program}
    DEPENDS ${TOOL_SOURCES} ${TOOL_DEPENDS}
    COMMENT "Building ${name} for the build host"
    VERBATIM)
  add_custom_target(${name} DEPENDS ${program})
  set(TAVRIN_HOST_TOOL_${name} ${program} CACHE INTERNAL "")
endfunction()
