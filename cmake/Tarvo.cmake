# Shared build rules: warnings, static Windows executables, liblzma, GoogleTest, test registration.

add_compile_options(-Wall -Wextra)
if(WIN32)
  # Windows 7 API level; UNICODE everywhere: every text of the program is UTF-16.
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  # No MinGW runtime DLLs beside our executables.
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(TARVO_LZMA_ROOT "${TARVO_DEPS_CACHE}/lzma-${TARVO_TRIPLE}")
  if(NOT EXISTS "${TARVO_LZMA_ROOT}/lib/liblzma.a")
    message(FATAL_ERROR "liblzma for ${TARVO_TRIPLE} not found in ${TARVO_LZMA_ROOT}: run scripts/bootstrap.sh")
  endif()
  add_library(tarvo_lzma STATIC IMPORTED GLOBAL)
  set_target_properties(tarvo_lzma PROPERTIES
    IMPORTED_LOCATION "${TARVO_LZMA_ROOT}/lib/liblzma.a"
    INTERFACE_INCLUDE_DIRECTORIES "${TARVO_LZMA_ROOT}/include"
    INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LZMA REQUIRED IMPORTED_TARGET liblzma)
  add_library(tarvo_lzma ALIAS PkgConfig::LZMA)
endif()

# GoogleTest: Debian's libgtest-dev for Linux; built here from Debian's sources for Windows.
if(WIN32)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  set(TARVO_GTEST gtest gmock)
  set(TARVO_GTEST_MAIN gtest_main)
else()
  find_package(GTest REQUIRED)
  set(TARVO_GTEST GTest::gtest GTest::gmock)
  set(TARVO_GTEST_MAIN GTest::gtest_main)
endif()

# tarvo_library(NAME SOURCES... [DEPS ...]): one layer of the program as a static library.
function(tarvo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# tarvo_dist(TARGET): a shipped executable lands in build/dist/<configuration>/.
function(tarvo_dist target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${TARVO_DIST_DIR}")
endfunction()

# tarvo_test(NAME SOURCES... [DEPS ...] [NO_MAIN]): a GoogleTest executable registered with ctest.
# Windows tests run under wine64 through CMAKE_CROSSCOMPILING_EMULATOR and need the "wine"
# fixture (prefix, persistent wineserver, Xvfb). The i686 tree only builds them: nothing here
# can run 32-bit Windows code.
function(tarvo_test name)
  cmake_parse_arguments(ARG "NO_MAIN" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} ${TARVO_GTEST})
  if(NOT ARG_NO_MAIN)
    target_link_libraries(${name} PRIVATE ${TARVO_GTEST_MAIN})
  endif()
  if(TARVO_RUN_TESTS)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "TARVO_BUILD_DIR=${CMAKE_BINARY_DIR};TARVO_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
    if(WIN32)
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
    endif()
  endif()
endfunction()

if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(TARVO_RUN_TESTS ON)
elseif(NOT WIN32)
  set(TARVO_RUN_TESTS ON)
else()
  set(TARVO_RUN_TESTS OFF)
endif()

# tarvo_tests_in_folder(LAYER DEPS ...): every *Test.cpp of the calling folder becomes its own
# test executable named LAYER_<file>, e.g. base/FilesTest.cpp -> base_files_test. The names are
# left in LAYER_TESTS for the caller.
function(tarvo_tests_in_folder layer)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp")
  set(names)
  foreach(file IN LISTS tests)
    get_filename_component(stem "${file}" NAME_WE)
    string(REGEX REPLACE "Test$" "" stem "${stem}")
    string(REGEX REPLACE "([a-z0-9])([A-Z])" "\\1_\\2" stem "${stem}")
    string(TOLOWER "${stem}" stem)
    tarvo_test(${layer}_${stem}_test SOURCES "${file}" DEPS ${ARG_DEPS})
    list(APPEND names ${layer}_${stem}_test)
    # Windows of these layers share one display, one mouse and one foreground window: their
    # tests take turns instead of moving each other's cursor.
    if(TARVO_RUN_TESTS AND layer MATCHES "^(ui|dialogs|container)$")
      set_tests_properties(${layer}_${stem}_test PROPERTIES RESOURCE_LOCK desktop)
    endif()
  endforeach()
  set(${layer}_TESTS ${names} PARENT_SCOPE)
endfunction()

# tarvo_subdirectory(DIR): add_subdirectory for a folder that holds a CMakeLists.txt; a folder that
# is still being written (no CMakeLists.txt yet) is passed over.
macro(tarvo_subdirectory dir)
  if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endmacro()
