# velmor_qt_layer(NAME <lib> LINKS <libs...>)
# Builds every *.cpp of the calling folder (except main.cpp and tests/) into a
# static library, and every tests/*_test.cpp into a Qt Test program (linked
# with the test-only library velmor_testkit) that CTest
# runs offscreen, each with a settings folder of its own in the build tree (so
# that no test reads or writes the user's real settings).
function(velmor_qt_layer)
  cmake_parse_arguments(L "" "NAME" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(${L_NAME} STATIC ${sources})
  target_include_directories(${L_NAME} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${L_NAME} PUBLIC ${L_LINKS})
  target_compile_options(${L_NAME} PRIVATE -Wall -Wextra)
  set_target_properties(${L_NAME} PROPERTIES AUTOMOC ON AUTORCC ON)

  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  file(GLOB test_helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_support.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_support.h)
  set(helpers_library "")
  if(test_helpers)
    # The folder's test helpers, built once for all of its test programs.
    set(helpers_library ${L_NAME}_test_support)
    add_library(${helpers_library} STATIC ${test_helpers})
    target_link_libraries(${helpers_library} PUBLIC ${L_NAME} velmor_testkit)
    target_compile_definitions(${helpers_library} PUBLIC
      VELMOR_FIXTURES_DIR="${VELMOR_FIXTURES_DIR}"
      VELMOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
  endif()
  foreach(test_source ${tests})
    get_filename_component(test_name ${test_source} NAME_WE)
    set(target ${L_NAME}_${test_name})
    add_executable(${target} ${test_source})
    target_link_libraries(${target} PRIVATE ${L_NAME} velmor_testkit ${helpers_library})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_compile_definitions(${target} PRIVATE
      VELMOR_FIXTURES_DIR="${VELMOR_FIXTURES_DIR}"
      VELMOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES
      LABELS gui
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-settings/${target}")
  endforeach()
endfunction()
