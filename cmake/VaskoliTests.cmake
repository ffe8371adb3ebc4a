# One GoogleTest binary per layer (engine, ui, ads, app), registered with CTest.
# vaskoli_layer_tests(LAYER LIBS...) collects tests/LAYER/**/*.cpp into LAYER_tests and links
# the listed libraries that exist. For quick work on one module it also defines, for every
# sub-folder tests/LAYER/NAME, a target LAYER_NAME_tests that is built only when asked for.
find_package(GTest REQUIRED)
include(GoogleTest)

function(vaskoli_layer_tests layer)
  set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${layer})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  set(libs)
  foreach(lib ${ARGN})
    if(TARGET ${lib})
      list(APPEND libs ${lib})
    endif()
  endforeach()
  set(common ${dir}/common)
  add_executable(${layer}_tests ${srcs})
  target_link_libraries(${layer}_tests PRIVATE ${libs} GTest::gtest_main GTest::gmock)
  target_include_directories(${layer}_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${layer}_tests PRIVATE VASKOLI_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                             VASKOLI_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${layer}_tests DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

  file(GLOB subdirs LIST_DIRECTORIES true ${dir}/*)
  file(GLOB_RECURSE common_srcs CONFIGURE_DEPENDS ${common}/*.cpp)
  foreach(sub ${subdirs})
    if(IS_DIRECTORY ${sub} AND NOT sub STREQUAL common)
      get_filename_component(name ${sub} NAME)
      file(GLOB_RECURSE subsrcs CONFIGURE_DEPENDS ${sub}/*.cpp)
      if(subsrcs)
        add_executable(${layer}_${name}_tests EXCLUDE_FROM_ALL ${subsrcs} ${common_srcs})
        target_link_libraries(${layer}_${name}_tests PRIVATE ${libs} GTest::gtest_main GTest::gmock)
        target_include_directories(${layer}_${name}_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR})
        target_compile_definitions(${layer}_${name}_tests PRIVATE VASKOLI_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                   VASKOLI_BINARY_DIR="${CMAKE_BINARY_DIR}")
      endif()
    endif()
  endforeach()
endfunction()
