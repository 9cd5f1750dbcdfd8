# Tests through the built bundle, loaded the way a host loads it.
function(brontal_bundle_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE brontal_host GTest::gtest GTest::gtest_main)
  target_link_libraries(${name} PRIVATE brontal_warnings)
  target_compile_definitions(${name} PRIVATE BRONTAL_BUNDLE_PATH="${BRONTAL_BUNDLE_DIR}")
  target_include_directories(${name} PRIVATE
    "${PROJECT_SOURCE_DIR}/source" "${CMAKE_CURRENT_SOURCE_DIR}/bundle" "${CMAKE_CURRENT_SOURCE_DIR}/common")
  add_dependencies(${name} brontal1)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

file(GLOB _bundle_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/bundle/*.cpp")
brontal_bundle_test(bundle_tests ${_bundle_tests})
# The module info test reads what the bundle carries beside the module.
target_link_libraries(bundle_tests PRIVATE nlohmann_json::nlohmann_json)
target_compile_definitions(bundle_tests PRIVATE BRONTAL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(bundle_tests bundle_resources)

# The allocator and libsndfile these need belong to the native build.
if(WIN32)
  return()
endif()

# Counts heap allocations, locks and system calls of the audio thread while
# it processes (the VST 3 bundle's process and the LV2 build's run), with the editor open on the host's thread (hence the editor
# test host and its X server); its own binary, because it replaces the
# allocator and the pthread locks, which the sanitizers own in their builds.
if(NOT BRONTAL_SANITIZE AND NOT BRONTAL_TSAN)
  add_executable(noalloc_tests noalloc/test_noalloc.cpp)
  target_link_libraries(noalloc_tests PRIVATE editor_test_host brontal_lv2host brontal_live_core)
  target_link_libraries(noalloc_tests PRIVATE brontal_warnings)
  target_include_directories(noalloc_tests PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/bundle" "${CMAKE_CURRENT_SOURCE_DIR}/common")
  target_compile_definitions(noalloc_tests PRIVATE BRONTAL_LV2_DIR="${CMAKE_BINARY_DIR}/LV2")
  add_dependencies(noalloc_tests brontal1 lv2_bundle)
  add_test(NAME noalloc_tests COMMAND noalloc_tests)
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

# Minutes of the whole chain with random automation, twice, the same bytes
# both times (BRONTAL_SOAK_MINUTES=60 for the hour).
brontal_bundle_test(soak_tests soak/test_soak.cpp)

# Drive without folded partials: alias figure and harmonic levels of sines
# through the bundle, against the harmonic levels measured before.
brontal_bundle_test(alias_tests alias/test_alias.cpp bundle/bundlefixture.cpp)
target_compile_definitions(alias_tests PRIVATE BRONTAL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
