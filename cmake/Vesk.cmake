# Helpers shared by the subsystem folders.

# vesk_library(<name> [QT] SOURCES ... LIBS ...): a static library for one subsystem,
# with src/ as its include root so headers are included as "text/Unicode.h".
function(vesk_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# vesk_tests(<subsystem> SOURCES ... LIBS ...): one GoogleTest executable per subsystem,
# each test labelled with the subsystem so `ctest -L <subsystem>` runs just those.
function(vesk_tests subsystem)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  set(target tests_${subsystem})
  add_executable(${target} ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${target} PRIVATE
    VESK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VESK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if("threads" IN_LIST ARG_LABELS)
    add_dependencies(vesk_thread_tests ${target})
  endif()
  # Discovered tests take their properties as one flat list, which cannot carry a list of
  # labels; one label joined with "-" ("capture-speech-threads") still matches
  # `ctest -L capture`, `-L speech` and `-L threads`, as -L matches by pattern.
  list(PREPEND ARG_LABELS ${subsystem})
  list(JOIN ARG_LABELS "-" labels)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${labels}" TIMEOUT ${ARG_TIMEOUT})
endfunction()
