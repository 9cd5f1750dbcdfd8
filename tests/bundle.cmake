# Tests through the built bundle, loaded the way a host loads it.
function(brontal_bundle_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE brontal_host GTest::gtest GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${BRONTAL_WARNINGS})
  target_compile_definitions(${name} PRIVATE BRONTAL_BUNDLE_PATH="${BRONTAL_BUNDLE_DIR}")
  target_include_directories(${name} PRIVATE
    "${PROJECT_SOURCE_DIR}/source" "${CMAKE_CURRENT_SOURCE_DIR}/bundle" "${CMAKE_CURRENT_SOURCE_DIR}/common")
  add_dependencies(${name} brontal1)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

file(GLOB _bundle_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/bundle/*.cpp")
brontal_bundle_test(bundle_tests ${_bundle_tests})
# The module info test reads what the bundle carries beside the module.
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(bundle_tests PRIVATE nlohmann_json::nlohmann_json)
target_compile_definitions(bundle_tests PRIVATE BRONTAL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
if(TARGET bundle_resources)
  add_dependencies(bundle_tests bundle_resources)
endif()

# Counts heap allocations made while the processor runs; its own binary,
# because it replaces the allocator (which the sanitizers own in their builds).
if(NOT BRONTAL_SANITIZE)
  brontal_bundle_test(noalloc_tests noalloc/test_noalloc.cpp)
endif()

# What the chain computes, pinned by committed renders; `golden_renders`
# records them again after a change of sound made on purpose.
brontal_bundle_test(golden_tests golden/test_golden.cpp bundle/bundlefixture.cpp)
target_link_libraries(golden_tests PRIVATE PkgConfig::SNDFILE)
target_compile_definitions(golden_tests PRIVATE BRONTAL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_custom_target(golden_renders
  COMMAND ${CMAKE_COMMAND} -E env BRONTAL_UPDATE_GOLDENS=1 $<TARGET_FILE:golden_tests>
  DEPENDS golden_tests
  COMMENT "Recording the golden renders")

# Drive without folded partials: alias figure and harmonic levels of sines
# through the bundle, against the harmonic levels measured before.
brontal_bundle_test(alias_tests alias/test_alias.cpp bundle/bundlefixture.cpp)
target_compile_definitions(alias_tests PRIVATE BRONTAL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
