# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

# The plugin for the Frameworks 5 hosts (kcmshell5, systemsettings 5).
add_library(lumen_kcm_mic MODULE micmanagementfactory.cpp)
target_link_libraries(lumen_kcm_mic PRIVATE mic-module KF${QT_MAJOR_VERSION}::CoreAddons)
install(TARGETS lumen_kcm_mic DESTINATION ${KDE_INSTALL_PLUGINDIR})

# Hosts find a module without JSON metadata through a service description.
# One points at the plugin in the build tree, for tests and the demo.
# The hosts open the guide as a handbook of KDE's help centre (help:/ and
# this path; docs/CMakeLists.txt puts it there).
set(MIC_PLUGIN_PATH "$<TARGET_FILE:lumen_kcm_mic>")
set(MIC_GUIDE_URL "lumen-kcm-mic/index.html")
configure_file(lumen_kcm_mic.desktop.in ${CMAKE_CURRENT_BINARY_DIR}/lumen_kcm_mic.desktop.build.in @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/share/kservices5/lumen_kcm_mic.desktop
     INPUT ${CMAKE_CURRENT_BINARY_DIR}/lumen_kcm_mic.desktop.build.in)
# The installed one names the plugin, which the hosts look for in Qt's plugin
# folders: those of the system for an install under /usr, and those in
# QT_PLUGIN_PATH for another prefix.
set(MIC_PLUGIN_PATH "lumen_kcm_mic")
configure_file(lumen_kcm_mic.desktop.in ${CMAKE_CURRENT_BINARY_DIR}/lumen_kcm_mic.desktop @ONLY)
if(NOT KDE_INSTALL_FULL_PLUGINDIR STREQUAL KDE_INSTALL_FULL_QTPLUGINDIR OR NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "The plugin goes to ${KDE_INSTALL_FULL_PLUGINDIR}: the hosts find it there only with QT_PLUGIN_PATH=${KDE_INSTALL_FULL_PLUGINDIR}, or install with -DCMAKE_INSTALL_PREFIX=/usr")
endif()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumen_kcm_mic.desktop DESTINATION ${KDE_INSTALL_KSERVICES5DIR})
