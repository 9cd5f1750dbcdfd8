# Tests through the built bundle, loaded the way a host loads it.
file(GLOB _bundle_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/bundle/*.cpp")
add_executable(bundle_tests ${_bundle_tests})
target_link_libraries(bundle_tests PRIVATE brontal_host GTest::gtest GTest::gtest_main)
target_compile_options(bundle_tests PRIVATE ${BRONTAL_WARNINGS})
target_compile_definitions(bundle_tests PRIVATE BRONTAL_BUNDLE_PATH="${BRONTAL_BUNDLE_DIR}")
target_include_directories(bundle_tests PRIVATE "${PROJECT_SOURCE_DIR}/source" "${CMAKE_CURRENT_SOURCE_DIR}/common")
add_dependencies(bundle_tests brontal1)
add_test(NAME bundle_tests COMMAND bundle_tests)

# Counts heap allocations made while the processor runs; its own binary,
# because it replaces the allocator (which the sanitizers own in their builds).
if(BRONTAL_SANITIZE)
  return()
endif()
add_executable(noalloc_tests noalloc/test_noalloc.cpp)
target_link_libraries(noalloc_tests PRIVATE brontal_host GTest::gtest GTest::gtest_main)
target_compile_options(noalloc_tests PRIVATE ${BRONTAL_WARNINGS})
target_compile_definitions(noalloc_tests PRIVATE BRONTAL_BUNDLE_PATH="${BRONTAL_BUNDLE_DIR}")
target_include_directories(noalloc_tests PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/bundle" "${PROJECT_SOURCE_DIR}/source")
add_dependencies(noalloc_tests brontal1)
add_test(NAME noalloc_tests COMMAND noalloc_tests)
