# Builds the parts of the VST 3 SDK that the plug-in and the host tools link,
# straight from the system copy. Headers are included as system headers so
# that our warning flags do not apply to them.
set(_sdk "${BRONTAL_VST3_SDK_ROOT}")
if(NOT EXISTS "${_sdk}/pluginterfaces/base/funknown.h")
  message(FATAL_ERROR "VST 3 SDK not found at ${_sdk} (install juce-modules-source-data or set BRONTAL_VST3_SDK_ROOT)")
endif()

add_library(vst3sdk STATIC
  ${_sdk}/pluginterfaces/base/coreiids.cpp
  ${_sdk}/pluginterfaces/base/funknown.cpp
  ${_sdk}/pluginterfaces/base/ustring.cpp
  ${_sdk}/base/source/baseiids.cpp
  ${_sdk}/base/source/fbuffer.cpp
  ${_sdk}/base/source/fobject.cpp
  ${_sdk}/base/source/fstreamer.cpp
  ${_sdk}/base/source/fstring.cpp
  ${_sdk}/base/source/updatehandler.cpp
  ${_sdk}/base/thread/source/flock.cpp
  ${_sdk}/public.sdk/source/common/memorystream.cpp
  ${_sdk}/public.sdk/source/common/pluginview.cpp
  ${_sdk}/public.sdk/source/vst/vstbus.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponent.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponentbase.cpp
  ${_sdk}/public.sdk/source/vst/vsteditcontroller.cpp
  ${_sdk}/public.sdk/source/vst/vstinitiids.cpp
  ${_sdk}/public.sdk/source/vst/vstparameters.cpp
  ${_sdk}/public.sdk/source/vst/vstpresetfile.cpp
  ${_sdk}/public.sdk/source/vst/hosting/hostclasses.cpp
  ${_sdk}/public.sdk/source/vst/hosting/pluginterfacesupport.cpp
  # Interface ids the copy declares but never defines.
  ${PROJECT_SOURCE_DIR}/source/sdkgap/guiiids.cpp
)
target_include_directories(vst3sdk SYSTEM PUBLIC "${_sdk}")
target_compile_definitions(vst3sdk PUBLIC RELEASE=1 SMTG_RENAME_ASSERT=1)
target_compile_options(vst3sdk PRIVATE -w)
find_package(Threads REQUIRED)
target_link_libraries(vst3sdk PUBLIC Threads::Threads)
