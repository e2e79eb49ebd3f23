# Runs at install time, so the paths written into the files follow `cmake --install --prefix`.
# Given: FOTOSHUTTLE_APP_SUBDIR (the program's folder below the prefix), FOTOSHUTTLE_TEMPLATES
# (this folder) and FOTOSHUTTLE_PART: "program" (the program's folder and the menu entry) or
# "autostart" (the entry that starts the program at each logon).
if(IS_ABSOLUTE "${FOTOSHUTTLE_APP_SUBDIR}")
    set(FOTOSHUTTLE_APP_DIR "${FOTOSHUTTLE_APP_SUBDIR}")
else()
    set(FOTOSHUTTLE_APP_DIR "${CMAKE_INSTALL_PREFIX}/${FOTOSHUTTLE_APP_SUBDIR}")
endif()
set(staged_app_dir "$ENV{DESTDIR}${FOTOSHUTTLE_APP_DIR}")

function(fotoshuttle_write template target)
    message(STATUS "Installing: ${target}")
    configure_file("${FOTOSHUTTLE_TEMPLATES}/${template}" "${target}" @ONLY)
endfunction()

if(FOTOSHUTTLE_PART STREQUAL "program")
    # The user's settings, log and folders survive a reinstall: made only when absent.
    foreach(folder in out)
        if(NOT EXISTS "${staged_app_dir}/${folder}")
            message(STATUS "Installing: ${staged_app_dir}/${folder}")
            file(MAKE_DIRECTORY "${staged_app_dir}/${folder}")
        endif()
    endforeach()
    if(NOT EXISTS "${staged_app_dir}/Fotoshuttle_log.txt")
        message(STATUS "Installing: ${staged_app_dir}/Fotoshuttle_log.txt")
        file(TOUCH "${staged_app_dir}/Fotoshuttle_log.txt")
    endif()
    if(NOT EXISTS "${staged_app_dir}/Fotoshuttle.ini")
        fotoshuttle_write(Fotoshuttle.ini.in "${staged_app_dir}/Fotoshuttle.ini")
    endif()
    fotoshuttle_write(fotoshuttle.desktop.in
                      "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/fotoshuttle.desktop")
    # Kept beside the program, to be copied into the autostart folder by hand if wanted.
    fotoshuttle_write(fotoshuttle-autostart.desktop.in
                      "${staged_app_dir}/fotoshuttle-autostart.desktop")
elseif(FOTOSHUTTLE_PART STREQUAL "autostart")
    if(DEFINED ENV{XDG_CONFIG_HOME} AND NOT "$ENV{XDG_CONFIG_HOME}" STREQUAL "")
        set(config_home "$ENV{XDG_CONFIG_HOME}")
    else()
        set(config_home "$ENV{HOME}/.config")
    endif()
    fotoshuttle_write(fotoshuttle-autostart.desktop.in
                      "$ENV{DESTDIR}${config_home}/autostart/fotoshuttle.desktop")
else()
    message(FATAL_ERROR "FOTOSHUTTLE_PART must be program or autostart")
endif()
