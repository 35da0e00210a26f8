# Helpers shared by every subsystem folder, so that adding a source, a test or a
# helper program never means editing a list in another folder.

# A service with a platform side keeps it beside its header as name_posix.cpp and
# name_windows.cpp; each build takes only its own platform's files from a list of sources.
function(orvik_platform_sources list_var)
  if(WIN32)
    list(FILTER ${list_var} EXCLUDE REGEX "_posix(_test)?\\.cpp$")
  else()
    list(FILTER ${list_var} EXCLUDE REGEX "_windows(_test)?\\.cpp$")
  endif()
  set(${list_var} ${${list_var}} PARENT_SCOPE)
endfunction()

# orvik_library(name [deps...]): static library from every .cpp in the calling folder.
function(orvik_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  orvik_platform_sources(sources)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ORVIK_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# orvik_tests(name [deps...]): one GoogleTest binary from every *_test.cpp in the calling
# folder, plus one executable per programs/*.cpp (children the tests start), each linked
# with the same dependencies and named without its platform suffix. The tests find those
# programs next to themselves.
function(orvik_tests name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB programs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/programs/*.cpp)
  orvik_platform_sources(sources)
  orvik_platform_sources(programs)
  foreach(program IN LISTS programs)
    get_filename_component(program_name ${program} NAME_WE)
    string(REGEX REPLACE "_(posix|windows)$" "" program_name ${program_name})
    add_executable(${program_name} ${program})
    target_compile_options(${program_name} PRIVATE ${ORVIK_WARNINGS})
    target_link_libraries(${program_name} PRIVATE ${ARGN})
    list(APPEND program_targets ${program_name})
  endforeach()
  if(sources)
    add_executable(${name} ${sources})
    target_compile_options(${name} PRIVATE ${ORVIK_WARNINGS})
    target_compile_definitions(${name} PRIVATE
      ORVIK_TEST_PROGRAMS="${CMAKE_CURRENT_BINARY_DIR}"
      ORVIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      ORVIK_BINARY_DIR="${CMAKE_BINARY_DIR}")
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
    if(program_targets)
      add_dependencies(${name} ${program_targets})
    endif()
    # Listing the tests starts the program; under Wine on a busy machine that alone can take
    # longer than the 5 s CMake allows by default.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} PROPERTIES TIMEOUT 600 LABELS ${name})
  endif()
endfunction()

# orvik_program(name source... [LIBS deps...]): a shipped program (tools/, app/).
function(orvik_program name)
  cmake_parse_arguments(P "" "" "LIBS" ${ARGN})
  add_executable(${name} ${P_UNPARSED_ARGUMENTS})
  target_compile_options(${name} PRIVATE ${ORVIK_WARNINGS})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
endfunction()

# orvik_embed_files(target array file...): compiles the files' bytes into `target` as the array
# `const ZephPatch::EmbeddedFile array[]` (declared in app/gui/embedded_file.h), in the order
# given, followed by `const size_t array_count`. Changing a file reconfigures.
function(orvik_embed_files target array)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${array}.cpp)
  set(text "// Generated from ${ARGN}\n#include \"app/gui/embedded_file.h\"\n\nnamespace {\n")
  set(index 0)
  foreach(file IN LISTS ARGN)
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND text "const unsigned char data${index}[] = {${bytes}};\n")
    math(EXPR index "${index} + 1")
  endforeach()
  string(APPEND text "}  // namespace\n\nnamespace ZephPatch {\nextern const EmbeddedFile ${array}[] = {\n")
  math(EXPR last "${index} - 1")
  foreach(i RANGE ${last})
    string(APPEND text "    {data${i}, sizeof data${i}},\n")
  endforeach()
  string(APPEND text "};\nextern const size_t ${array}_count = ${index};\n}  // namespace ZephPatch\n")
  file(WRITE ${source}.new "${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${source}.new ${source})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARGN})
  target_sources(${target} PRIVATE ${source})
endfunction()
