# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

# The plugin for the Frameworks 6 hosts (kcmshell6, systemsettings 6). Its
# metadata is built into it, and the hosts look for it in Qt's plugin folders
# under plasma/kcms/systemsettings_qwidgets; the build tree lays it out the
# same way (QT_PLUGIN_PATH=BUILD/bin), for the tests and the demo. The hosts
# open the guide as a handbook of KDE's help centre (help:/ and this path;
# docs/CMakeLists.txt puts it there).
set(MIC_PLUGIN_NAMESPACE plasma/kcms/systemsettings_qwidgets)
set(MIC_GUIDE_URL "lumen-kcm-mic/index.html")
configure_file(lumen_kcm_mic.json.in ${CMAKE_CURRENT_BINARY_DIR}/metadata/lumen_kcm_mic.json @ONLY)
add_library(lumen_kcm_mic MODULE micmanagementfactory.cpp)
target_include_directories(lumen_kcm_mic BEFORE PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/metadata)
target_link_libraries(lumen_kcm_mic PRIVATE mic-module KF6::CoreAddons KF6::KCMUtils)
set_target_properties(lumen_kcm_mic PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${MIC_PLUGIN_NAMESPACE})
install(TARGETS lumen_kcm_mic DESTINATION ${KDE_INSTALL_PLUGINDIR}/${MIC_PLUGIN_NAMESPACE})
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "The plugin goes to ${KDE_INSTALL_FULL_PLUGINDIR}/${MIC_PLUGIN_NAMESPACE}: the hosts find it there only with QT_PLUGIN_PATH=${KDE_INSTALL_FULL_PLUGINDIR}, or install with -DCMAKE_INSTALL_PREFIX=/usr")
endif()
