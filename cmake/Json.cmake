# nlohmann_json, header only, as the target nlohmann_json::nlohmann_json: the
# system's package in a native build; in a cross build its headers alone,
# since the rest of /usr/include belongs to the build machine.
if(CMAKE_CROSSCOMPILING)
  set(_json_root "${CMAKE_BINARY_DIR}/build-machine-headers")
  file(MAKE_DIRECTORY "${_json_root}")
  file(CREATE_LINK "/usr/include/nlohmann" "${_json_root}/nlohmann" SYMBOLIC)
  if(NOT EXISTS "${_json_root}/nlohmann/json.hpp")
    message(FATAL_ERROR "nlohmann/json.hpp not found in /usr/include (install nlohmann-json3-dev)")
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_json_root}")
else()
  find_package(nlohmann_json 3 REQUIRED)
endif()
