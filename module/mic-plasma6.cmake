# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

# The plugin for the Frameworks 6 hosts (kcmshell6, systemsettings 6). Its
# metadata is built into it, and the hosts look for it in Qt's plugin folders
# under plasma/kcms/systemsettings_qwidgets. The metadata names the guide
# that the Help button opens, so the plugin is built twice: one for the
# build tree, laid out as Qt's plugin folder (QT_PLUGIN_PATH=BUILD/bin), for
# the tests and the demo, with the build tree's guide; one to install, with
# the installed guide.
set(MIC_PLUGIN_NAMESPACE plasma/kcms/systemsettings_qwidgets)

function(mic_add_plugin target guide)
    set(MIC_GUIDE_URL "file://${guide}")
    set(metadata ${CMAKE_CURRENT_BINARY_DIR}/${target}-metadata)
    configure_file(lumen_kcm_mic.json.in ${metadata}/lumen_kcm_mic.json @ONLY)
    add_library(${target} MODULE micmanagementfactory.cpp)
    target_include_directories(${target} BEFORE PRIVATE ${metadata})
    target_link_libraries(${target} PRIVATE mic-module KF6::CoreAddons KF6::KCMUtils)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME lumen_kcm_mic ${ARGN})
endfunction()

mic_add_plugin(lumen_kcm_mic ${MIC_GUIDE_BUILD_DIR}/guide.html
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${MIC_PLUGIN_NAMESPACE})
mic_add_plugin(lumen_kcm_mic_installed ${KDE_INSTALL_FULL_DATAROOTDIR}/doc/lumen-kcm-mic/guide.html
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/installed)
install(TARGETS lumen_kcm_mic_installed DESTINATION ${KDE_INSTALL_PLUGINDIR}/${MIC_PLUGIN_NAMESPACE})
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "The plugin goes to ${KDE_INSTALL_FULL_PLUGINDIR}/${MIC_PLUGIN_NAMESPACE}: the hosts find it there only with QT_PLUGIN_PATH=${KDE_INSTALL_FULL_PLUGINDIR}, or install with -DCMAKE_INSTALL_PREFIX=/usr")
endif()
