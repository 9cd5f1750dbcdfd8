# The Debian package (cpack -G DEB in the build folder): the bundle in
# /usr/lib/vst3, the LV2 bundle (with its presets) in /usr/lib/lv2, the factory presets in /usr/share/vst3/presets where hosts
# look for every user's presets, and the render tool. Dependencies come from
# dpkg-shlibdeps on what the package's binaries link.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resource/presets/" DESTINATION share/vst3/presets)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION share/doc/brontal)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brontal)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Brontal Audio")
set(CPACK_PACKAGE_CONTACT "Brontal Audio <support@brontal.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "guitar amplifier and pedalboard VST 3 and LV2 plug-in")
set(CPACK_PACKAGE_DESCRIPTION
    "Brontal is a VST 3 and LV2 effect for electric guitar: gate and compressor, two equalisers, a six-branch distortion, cabinet convolution, chorus, tempo-synced delay, reverb with a stereo enhancer and an output saturator, with a pedalboard editor and factory presets. brontal-render renders audio files through it; brontal-live (Brontal Live) plays it live through JACK or ALSA, without a DAW.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brontal.example")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
