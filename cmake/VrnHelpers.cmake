# Shared build helpers. Every target of ours goes through vrn_project_target
# so that warnings, standard and sanitizers are the same everywhere.

function(vrn_project_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(VRN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC 12 at -O3 reports overlapping copies inside std::string's own
  # concatenation (GCC bugs 105329 and 105651); the warning says nothing
  # about our code there, so it must not stop a Release build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()

# Adds every direct subfolder that has a CMakeLists.txt, in name order.
function(vrn_add_subdirs)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# vrn_set_test_environment(test [VAR=value ...])
# What every test needs whichever way ctest is started: the web engine
# refuses to run as root without its sandbox switched off, and a sanitizer
# build needs the suppressions of system libraries' process-long caches,
# found in the source tree rather than the build folder.
function(vrn_set_test_environment test)
  set(env ${ARGN} "QTWEBENGINE_DISABLE_SANDBOX=1")
  if(VRN_SANITIZE)
    list(APPEND env "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp"
                    "UBSAN_OPTIONS=print_stacktrace=1")
  endif()
  set_tests_properties(${test} PROPERTIES ENVIRONMENT "${env}")
endfunction()

# vrn_add_gtest(NAME name SOURCES ... LIBS ... [GUI] [LABELS ...] [TIMEOUT s])
# One test program, one CTest entry. GUI tests run on the offscreen platform.
function(vrn_add_gtest)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  vrn_project_target(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set(env "VRN_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
  if(T_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  vrn_set_test_environment(${T_NAME} ${env})
  if(T_TIMEOUT)
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  else()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 300)
  endif()
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# vrn_add_fuzzer(NAME name SOURCES ... LIBS ... CORPUS dir [DICT file])
# With VRN_FUZZ the target is a libFuzzer binary in bin/fuzz/. Otherwise it is
# linked with a small driver that replays the corpus and a few thousand
# mutated inputs, and runs in the test suite as a smoke test. Every target is
# listed (name, corpus, dictionary) in the global property VRN_FUZZERS, from
# which fuzz/ makes the fuzz-all target and the list scripts/fuzz runs.
function(vrn_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS;DICT" "SOURCES;LIBS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY VRN_FUZZERS "${F_NAME}|${F_CORPUS}|${F_DICT}")
  add_executable(${F_NAME} ${F_SOURCES})
  vrn_project_target(${F_NAME})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/fuzz)
  if(VRN_FUZZ)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${F_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(VRN_BUILD_TESTS)
      add_test(NAME ${F_NAME}_smoke COMMAND ${F_NAME} ${F_CORPUS})
      vrn_set_test_environment(${F_NAME}_smoke)
      set_tests_properties(${F_NAME}_smoke PROPERTIES TIMEOUT 300 LABELS fuzz)
    endif()
  endif()
endfunction()

# vrn_add_benchmark(NAME name SOURCES ... LIBS ...)
function(vrn_add_benchmark)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  vrn_project_target(${B_NAME})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS})
  set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# vrn_add_plugin(NAME name SOURCES ...)
# A plug-in library NAME.vpi in bin/plugin/. Its linker script exports.map
# (beside the sources) keeps DLLDocTemplate the only exported symbol.
function(vrn_add_plugin)
  cmake_parse_arguments(P "" "NAME" "SOURCES" ${ARGN})
  vrn_add_plugin_library_(${P_NAME} ".vpi" ${P_SOURCES})
  target_link_libraries(${P_NAME} PRIVATE vrn-ui-toolkit)
endfunction()

# vrn_add_plugin_module(NAME name SOURCES ...)
# A library NAME.so beside the plug-ins that a plug-in loads when it first
# needs it (OnDemandModule), for a part whose own dependencies are heavy.
# The host looks only at .vpi files; exports.map names its entry points.
function(vrn_add_plugin_module)
  cmake_parse_arguments(P "" "NAME" "SOURCES" ${ARGN})
  vrn_add_plugin_library_(${P_NAME} ".so" ${P_SOURCES})
endfunction()

function(vrn_add_plugin_library_ name suffix)
  add_library(${name} MODULE ${ARGN})
  vrn_project_target(${name})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE vrn-plugin-api Qt6::Widgets)
  target_link_options(${name} PRIVATE -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map -Wl,--no-undefined)
  set_target_properties(${name} PROPERTIES
    OUTPUT_NAME ${name}
    PREFIX ""
    SUFFIX ${suffix}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${VRN_PLUGIN_OUTPUT_DIRECTORY}
    LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.map
    INSTALL_RPATH "$ORIGIN/../lib")
  install(TARGETS ${name} LIBRARY DESTINATION ${VRN_INSTALL_PLUGIN_DIR})
endfunction()

# vrn_install_link(PROGRAM name LINK link)
# Puts a relative symbolic link LINK in the installed bin/ folder that points
# at the program NAME in the program folder, so the tree can move with its
# prefix.
function(vrn_install_link)
  cmake_parse_arguments(L "" "PROGRAM;LINK" "" ${ARGN})
  file(RELATIVE_PATH from_bin /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${VRN_INSTALL_PROGRAM_DIR}/${L_PROGRAM})
  install(CODE "
    set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bindir}\")
    file(REMOVE \"\${bindir}/${L_LINK}\")
    file(CREATE_LINK \"${from_bin}\" \"\${bindir}/${L_LINK}\" SYMBOLIC)
    message(STATUS \"Installing: \${bindir}/${L_LINK} -> ${from_bin}\")
  ")
endfunction()
